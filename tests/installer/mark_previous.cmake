# cmake -DOUT=<folder> -DFILES=<a;b;...> -P mark_previous.cmake
# Copies each file into OUT with a line appended, for an "older" build.
file(MAKE_DIRECTORY ${OUT})
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(COPY_FILE ${file} ${OUT}/${name})
  file(APPEND ${OUT}/${name} "previous version\n")
endforeach()
