// The operations of the other subsystems that the windows call. Until a
// subsystem is part of the build, a stand-in that does nothing keeps the
// program building and starting; each goes away as its subsystem arrives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/app_state.h"
#include "core/platform.h"

#if __has_include("core/commands.h")
#include "core/commands.h"
#else
static inline int InitialiseAppState() {
    ResetAppState();
    return 1;
}
static inline void ReleaseAppState() {}
static inline void InitialiseToolBarControls() {}
static inline int OpenMeshCommand() { return 0; }
static inline void SelectMaterialPreset(int) {}
static inline int CreateHair() { return 0; }
static inline int ExportMesh() { return 0; }
static inline void InvertCurrentMesh() {}
static inline void UpdateStatistics() {}
static inline void UpdateHairFields() {}
static inline int StepHairRadius(int) { return 0; }
static inline int StepHairStretch(int) { return 0; }
#endif

#include "formats/bmp_writer.h"
#include "render/frame_buffer.h"
#include "render/frame_driver.h"
#include "texture/texture_slots.h"
