#pragma once
// Everything a source filter built on the framework needs.
#include "camera/module/framework/base_filter.h"
#include "camera/module/framework/base_pin.h"
#include "camera/module/framework/class_factory.h"
#include "camera/module/framework/critical_section.h"
#include "camera/module/framework/enum_media_types.h"
#include "camera/module/framework/enum_pins.h"
#include "camera/module/framework/live_objects.h"
#include "camera/module/framework/media_type.h"
#include "camera/module/framework/setup_data.h"
#include "camera/module/framework/source.h"
#include "camera/module/framework/unknown.h"
