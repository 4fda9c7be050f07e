// The operations of the other subsystems that the windows call.
#pragma once

#include "app/app_state.h"
#include "app/commands.h"
#include "core/platform.h"
#include "formats/bmp_writer.h"
#include "render/frame_buffer.h"
#include "app/preview_frame.h"
#include "render/frame_driver.h"
#include "texture/texture_slots.h"
