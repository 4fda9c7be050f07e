// The builder as the "Create" command runs it: with the application's
// current hair settings.
#include "core/app_state.h"
#include "ribbon/ribbon_builder.h"

Mesh* BuildHairMesh(Mesh* source) { return BuildHairMesh(source, appState.hair); }
