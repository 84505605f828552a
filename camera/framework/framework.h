#pragma once
// Everything a source filter built on the framework needs.
#include "camera/framework/base_filter.h"
#include "camera/framework/base_pin.h"
#include "camera/framework/class_factory.h"
#include "camera/framework/critical_section.h"
#include "camera/framework/enum_media_types.h"
#include "camera/framework/enum_pins.h"
#include "camera/framework/live_objects.h"
#include "camera/framework/media_type.h"
#include "camera/framework/setup_data.h"
#include "camera/framework/source.h"
#include "camera/framework/unknown.h"
