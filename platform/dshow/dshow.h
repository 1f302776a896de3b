// Everything a capture component needs from the layer, in one include.
#pragma once
#include "platform/dshow/base_filter.h"
#include "platform/dshow/base_renderer.h"
#include "platform/dshow/com.h"
#include "platform/dshow/device_enum.h"
#include "platform/dshow/interfaces.h"
#include "platform/dshow/media_type.h"
#include "platform/dshow/transform_filter.h"
