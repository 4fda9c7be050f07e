// Command ids of the main window's menu and control ids of the tool bar.
// Shared by the resource script, the Windows shell and the command layer,
// which ticks, enables and fills these controls through the platform seam.
#pragma once

// "&File"
#define IDM_EXIT 101
#define IDM_ABOUT 102
#define IDM_OPEN_MESH 104
#define IDM_EXPORT_OBJ 108
#define IDM_LOAD_TEXTURE 110
#define IDM_SAVE_IMAGE 111
// "Options"
#define IDM_RESET_VIEW 140
#define IDM_BACKGROUND_GREY1 336
#define IDM_BACKGROUND_GREY2 337
// "&Texture": the first of four (Wood, Metal, Pattern, User); id = first + slot
#define IDM_TEXTURE_WOOD 160
#define IDM_TEXTURE_METAL 161
#define IDM_TEXTURE_PATTERN 162
#define IDM_TEXTURE_USER 163
// "&Lights": id = first + light index
#define IDM_LIGHT1 200
#define IDM_LIGHT2 201
#define IDM_LIGHT3 202
// "Material": id = first + preset index; the last is "Prop Material"
#define IDM_MATERIAL_FIRST 300
#define IDM_MATERIAL_PROP 310

// Tool bar ("ToolBarDialog")
#define IDC_RADIUS_VALUE 1030
#define IDC_RADIUS_SCROLL 1031
#define IDC_STRETCH_VALUE 1032
#define IDC_STRETCH_SCROLL 1033
#define IDC_ONLY_DYNAMIC 1034
#define IDC_REDUCE 1056
#define IDC_CREATE 1040
#define IDC_WIREFRAME 1050
#define IDC_BACKCULLED 1051
#define IDC_TEXTURED 1052
#define IDC_ORIGINAL 1053
#define IDC_HAIR 1054
#define IDC_INVERT 1055
#define IDC_STAT_VERTICES 1060
#define IDC_STAT_UV_VERTICES 1061
#define IDC_STAT_FACES 1062
#define IDC_STAT_LINES 1063
#define IDC_STAT_GROUPS 1064
#define IDC_STAT_MATERIALS 1065

// About dialog ("AboutDialog")
#define IDC_ABOUT_OK 200
#define IDC_ABOUT_BANNER 201
