// The commands of the main window's menu and of the tool bar's controls, by
// their ids (app/ui_ids.h): what each one changes in the application state
// and which marks it moves. The Windows shell turns its messages into these
// calls and the command-line tool calls the same functions, so the tests
// reach every command without a window.
#pragma once

// "&Texture": the old item loses its mark before slot `slot` (0..3) gets it
// (so choosing the checked item keeps it checked); the slot becomes the
// current texture, texturing goes on and wireframe off, in the view and on
// the tool bar. Slots outside 0..3 are ignored.
void SelectTexture(int slot);

// "Load texture": asks for a JPEG file into the user slot; on success the
// "User" item shows its name and is enabled, and SelectTexture(user slot).
// Returns 1 when loaded, 0 on a cancel or a failure (the loader's message;
// nothing changed).
int LoadUserTexture();

// "Background grey1" / "grey2" (`selection` 0 or 1): the mark moves as the
// texture's does and the background takes the value of backgroundTable.
void SelectBackground(int selection);

// "&Lights": light `index` (0..2) switches on or off, with its mark.
void ToggleLight(int index);

// The tool bar's hair boxes and arrows as a batch (the command line's
// options): the two steps as given, then the fields recomputed and shown, then
// "Only dynamic" and "Reduce".
void SetHairControls(int radiusStep, int stretchStep, int onlyDynamic, int reduce);

// True for the ids of the menu's commands, "Exit" and "About" included,
// which the front end runs itself.
bool IsMenuCommand(int id);

// Runs menu command `id` other than "Exit" and "About".
// Returns 1 when the view is to be redrawn after it, 0 when not (a texture
// that did not load, an id that is not a menu command).
int RunMenuCommand(int id);

// Runs the tool bar's command `id`; `ticked` is the control's check state
// after the click (check boxes and the two view radio buttons). Returns 1
// when the view is to be redrawn, 0 for ids the tool bar ignores.
int RunToolBarControl(int id, int ticked);
