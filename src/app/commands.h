// The application's commands between the user interface and the working
// parts: start-up, opening a model file, building the hair, exporting,
// inverting, the statistics and the hair fields of the tool bar. Everything
// they show goes through the platform seam (core/platform.h), so the Windows
// program, the command-line tool and the tests run the same code.
#pragma once

#include <cstdint>

#include "core/mesh.h"

// The program's name, as the main window's title shows it.
extern const char* const ProgramName;  // "Quillmere"

// Gives the application state its start-up values (ResetAppState: hair
// settings, background, view flags, the -30 degree view, a 620 x 520 view),
// then loads what start-up shows: the three built-in textures (their failures
// ignored), the built-in model as mesh "computer" in scene slot 0, the
// start-up material ("Prop Material" when the model brings its own
// materials, else "Brass"), light 1, with their menu check marks.
// Returns 1, or 0 when the process must end with exit status 1: no memory
// for the model's mesh (nothing shown), or the model does not load (after
// the message "Error", caption "Internal Object error").
int InitialiseAppState();

// The built-in model as a new mesh "computer" (the caller owns it), as
// start-up loads it; `materialsTaken` is set to 1 when it brought materials of
// its own. Null when there is no memory (nothing shown) or it does not load
// (after the message "Error", caption "Internal Object error").
Mesh* LoadStartupModel(int32_t* materialsTaken);

// Frees the scene's meshes and the texture slots' pixels (the end of a run).
void ReleaseAppState();

// What the tool bar shows when it is created: the three view check boxes,
// "Only dynamic", "Reduce", "Original"/"Hair" (enabled only with a hair
// mesh), "Create" disabled, the statistics and the hair fields.
void InitialiseToolBarControls();

// Asks for a model file (.obj, or .pp2/.hr2/.cr2, or their compressed kinds
// .obz/.ppz/.hrz/.crz, in any letter case) and reads it. On success the new mesh replaces the scene (any hair mesh
// goes), the hair steps and tool bar return to their start, the view to the identity, and the title shows the file's
// name; returns 1. On a cancelled dialog, an unsupported name ("Not supported file format", caption the file name), a
// reader failure (the reader's message) or no memory returns 0 with the
// application state unchanged.
int OpenMeshFile();
// The same for the file at `path`, without a dialog.
int OpenMeshPath(const char* path);

// The whole "Open mesh File" menu command: OpenMeshFile, and on success
// select "Prop Material" and turn wireframe off; then a redraw. Returns
// OpenMeshFile's result.
int OpenMeshCommand();
// A file dropped on the main window: opened as the "Open mesh File" command
// opens the one the dialog returns (OpenMeshPath, then the same material and
// wireframe changes and the redraw). Returns OpenMeshPath's result.
int OpenDroppedMesh(const char* path);

// Selects material preset `selection` (0..10) as the "Material" menu does:
// moves the check mark, turns texturing and wireframe off, applies it.
void SelectMaterialPreset(int selection);

// Builds the hair mesh from scene slot 0 with the current hair settings and
// puts it into slot 1 (replacing an earlier one); the view switches to it.
// Returns 1, or 0 after the message "unable to create hair" (caption "error",
// owned by the tool bar) with nothing changed.
int CreateHair();

// Writes the mesh on show (slot 1 with the hair view, else slot 0) through
// the save dialog. Returns 1 when written; the title then reads
// "Quillmere:   File <name> saved". Returns 0 when there is no such mesh,
// or the export was cancelled or failed (title unchanged).
int ExportMesh();

// Reverses the faces of the current mesh.
void InvertCurrentMesh();

// Shows the six counts of the current mesh in the tool bar's statistics.
void UpdateStatistics();

// One press of the radius or stretch arrows: `up` non-zero for the upper
// arrow. The step moves by one, clamped to 1..20 (radius) or -10..10
// (stretch). Returns 1 (the step was handled); the caller follows with
// UpdateHairFields. Neither rebuilds the hair nor asks for a redraw.
int StepHairRadius(int up);
int StepHairStretch(int up);

// Recomputes the hair radius and stretch from the two steps and shows them
// ("%8.6f" and "%4.3f").
void UpdateHairFields();
