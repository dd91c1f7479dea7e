// The console window's settings: font, text colour, background colour and
// position kept in the registry (HKEY_LOCAL_MACHINE\SOFTWARE\Orlimo\VetraW32),
// read when the window is made and written by "S&ave Settings", and the font
// and background choosers of the system menu.

#include "hosts/windowed/main_window.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kel {

namespace {

constexpr const char* kSettingsKey = "SOFTWARE\\Orlimo\\VetraW32";
constexpr const char* kFontFormat = "(%d,%d,%d),%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,\"%s\"";

// The value [name] of the settings key; false when it cannot be read.
bool ReadSetting(const char* name, char* buffer, DWORD size) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD length = size - 1;
  const bool ok = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length) ==
                  ERROR_SUCCESS;
  RegCloseKey(key);
  buffer[ok ? std::min<DWORD>(length, size - 1) : 0] = '\0';
  return ok;
}

// Sets the value [name] to [text], or deletes it when [text] is null.
void WriteSetting(const char* name, const char* text) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (text != nullptr) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1));
  } else {
    RegDeleteValueA(key, name);
  }
  RegCloseKey(key);
}

}  // namespace

void KelMainWindow::LoadFont() {
  char text[300];
  if (!ReadSetting("Font", text, sizeof text)) return;
  int red, green, blue, height, width, escapement, orientation, weight;
  int italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
  char face[300];
  // The face name is cut to the record's 32 characters.
  if (std::sscanf(text, "(%d,%d,%d),%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,\"%299[^\"]\"", &red, &green, &blue,
                  &height, &width, &escapement, &orientation, &weight, &italic, &underline, &strikeOut, &charSet,
                  &outPrecision, &clipPrecision, &quality, &pitchAndFamily, face) != 17) {
    return;
  }
  textColour_ = RGB(red, green, blue);
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWidth = width;
  font.lfEscapement = escapement;
  font.lfOrientation = orientation;
  font.lfWeight = weight;
  font.lfItalic = static_cast<BYTE>(italic);
  font.lfUnderline = static_cast<BYTE>(underline);
  font.lfStrikeOut = static_cast<BYTE>(strikeOut);
  font.lfCharSet = static_cast<BYTE>(charSet);
  font.lfOutPrecision = static_cast<BYTE>(outPrecision);
  font.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  font.lfQuality = static_cast<BYTE>(quality);
  font.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", face);
  logFont_ = font;
  font_ = CreateFontIndirectA(&logFont_);
}

bool KelMainWindow::LoadPosition(RECT& position) {
  char text[300];
  int left, top, width, height;
  if (!ReadSetting("Position", text, sizeof text) ||
      std::sscanf(text, "(%d,%d,%d,%d)", &left, &top, &width, &height) != 4) {
    return false;
  }
  position = RECT{left, top, width, height};
  return true;
}

void KelMainWindow::LoadBackground() {
  char text[300];
  int red = 255, green = 255, blue = 255;
  if (!ReadSetting("Color", text, sizeof text) || std::sscanf(text, "(%d,%d,%d)", &red, &green, &blue) != 3) {
    red = green = blue = 255;
  }
  SetBackground(RGB(red, green, blue));
}

void KelMainWindow::SetBackground(COLORREF colour) {
  backgroundColour_ = colour;
  HBRUSH old = background_;
  background_ = CreateSolidBrush(colour);
  SetClassLongPtrA(window_, GCLP_HBRBACKGROUND,
                   reinterpret_cast<LONG_PTR>(background_ != nullptr ? background_ : GetStockObject(WHITE_BRUSH)));
  if (old != nullptr) DeleteObject(old);
  InvalidateRect(window_, nullptr, TRUE);
}

void KelMainWindow::ReleaseSettings() {
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
  if (background_ != nullptr) {
    if (window_ != nullptr) {
      SetClassLongPtrA(window_, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(GetStockObject(WHITE_BRUSH)));
    }
    DeleteObject(background_);
    background_ = nullptr;
  }
}

void KelMainWindow::SaveSettings() {
  char text[300];
  if (font_ != nullptr) {
    const LOGFONTA& f = logFont_;
    std::snprintf(text, sizeof text, kFontFormat, GetRValue(textColour_), GetGValue(textColour_),
                  GetBValue(textColour_), static_cast<int>(f.lfHeight), static_cast<int>(f.lfWidth),
                  static_cast<int>(f.lfEscapement), static_cast<int>(f.lfOrientation), static_cast<int>(f.lfWeight),
                  f.lfItalic, f.lfUnderline, f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision,
                  f.lfQuality, f.lfPitchAndFamily, f.lfFaceName);
    WriteSetting("Font", text);
  } else {
    WriteSetting("Font", nullptr);
  }
  if (background_ != nullptr) {
    std::snprintf(text, sizeof text, "(%d,%d,%d)", GetRValue(backgroundColour_), GetGValue(backgroundColour_),
                  GetBValue(backgroundColour_));
    WriteSetting("Color", text);
  } else {
    WriteSetting("Color", nullptr);
  }
  // The restored position, also when the window is minimized or maximized,
  // so that the next start is on the screen.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(window_, &placement);
  const RECT& r = placement.rcNormalPosition;
  std::snprintf(text, sizeof text, "(%d,%d,%d,%d)", static_cast<int>(r.left), static_cast<int>(r.top),
                static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top));
  WriteSetting("Position", text);
}

void KelMainWindow::ChooseFontCommand() {
  LOGFONTA chosen = logFont_;
  CHOOSEFONTA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpLogFont = &chosen;
  dialog.rgbColors = textColour_;
  dialog.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_FIXEDPITCHONLY | CF_FORCEFONTEXIST |
                 (font_ != nullptr ? CF_INITTOLOGFONTSTRUCT : 0);
  if (!ChooseFontA(&dialog)) return;
  if (hasFocus_) {
    HideCaret(window_);
    DestroyCaret();
  }
  if (font_ != nullptr) DeleteObject(font_);
  logFont_ = chosen;
  font_ = CreateFontIndirectA(&logFont_);
  textColour_ = dialog.rgbColors;
  MeasureFont();
  // The window keeps its columns and rows in the new cells.
  RECT outer, client;
  GetWindowRect(window_, &outer);
  GetClientRect(window_, &client);
  SetWindowPos(window_, nullptr, 0, 0, columns_ * cx_ + (outer.right - outer.left) + 1 - client.right,
               rows_ * cy_ + (outer.bottom - outer.top) + 1 - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
  InvalidateRect(window_, nullptr, TRUE);
  UpdateScrollRange();
  if (hasFocus_) {
    CreateCaret(window_, nullptr, cx_, cy_);
    PlaceCaret();
    ShowCaret(window_);
  }
}

void KelMainWindow::ChooseBackgroundCommand() {
  static COLORREF customColours[16];
  std::fill(std::begin(customColours), std::end(customColours), RGB(255, 255, 255));
  CHOOSECOLORA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.rgbResult = backgroundColour_;
  dialog.lpCustColors = customColours;
  dialog.Flags = CC_RGBINIT | CC_PREVENTFULLOPEN;
  if (ChooseColorA(&dialog)) SetBackground(dialog.rgbResult);
}

}  // namespace kel
