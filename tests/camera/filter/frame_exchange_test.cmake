# The frame exchange test reads the built module's shared record with the
# reader code the pin uses, and writes through the module and the producer;
# the camera graph tests read that record too, so it runs apart from them.
qv_add_test(frame_exchange_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_exchange_test.cpp
  LIBS camera_frame_exchange camera_module_test_support ole32 uuid
  LABELS camera LOCKS qv_registry TIMEOUT 120)
add_dependencies(frame_exchange_test QvCamera test_frame_producer)
