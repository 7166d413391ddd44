// The controls of the "Tarvel settings" dialog (tarvel-host.rc, settings_window.cpp).
#pragma once

#define IDD_SETTINGS 200
#define IDC_BUTTON_CHOICE 201
#define IDC_CLICK_FLIPS 202
#define IDC_HOLD_FLIPS 203
#define IDC_HOLD_MS 204
#define IDC_TAP_PREVIOUS 205
#define IDC_CORNER_TOP_LEFT 206
#define IDC_CORNER_TOP_RIGHT 207
#define IDC_CORNER_BOTTOM_LEFT 208
#define IDC_CORNER_BOTTOM_RIGHT 209
#define IDC_CORNER_MS 210
#define IDC_SLOWS_CHOICE 211
#define IDC_PAUSE_KEY 212
#define IDC_PAUSE_STATUS 213
#define IDC_AUTOSTART 214
#define IDC_APPLY 215
#define IDC_FULL_SCREEN 216
