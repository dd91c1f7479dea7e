// The console window of the windowed program: its class and creation, output
// as on a teletype into a buffer of lines, painting on the cell grid,
// scrolling, sizing, the caret, the title, and the keys, pasted text and
// dropped files that it queues for the script.

#include "hosts/windowed/main_window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/process.h"

namespace kel {

namespace {

constexpr UINT kFontCommand = 1638;
constexpr UINT kBackgroundCommand = 1639;
constexpr UINT kSaveSettingsCommand = 1640;
constexpr UINT kBreakCommand = 1641;
constexpr UINT_PTR kAutoscrollTimer = 667;
constexpr const char* kIdleTitle = "Vetra for Windows/32";

std::string ClassName(HINSTANCE instance) {
  char name[32];
  std::snprintf(name, sizeof name, "Vetra%08lX",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(instance) & 0xFFFFFFFFu));
  return name;
}

// The outer size of a window whose client area is [width] by [height].
SIZE OuterSize(HWND window, int width, int height) {
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  return SIZE{width + (outer.right - outer.left) - client.right, height + (outer.bottom - outer.top) - client.bottom};
}

bool ControlDown() { return (GetKeyState(VK_CONTROL) & 0x8000) != 0; }
bool ShiftDown() { return (GetKeyState(VK_SHIFT) & 0x8000) != 0; }

}  // namespace

// ===================================================================
// Class, creation, lifetime
// ===================================================================

bool KelMainWindow::RegisterWindowClass(HINSTANCE instance) {
  const std::string name = ClassName(instance);
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProcedure;
  windowClass.cbWndExtra = sizeof(LONG_PTR);
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, "VetraIcon");
  windowClass.hCursor = LoadCursor(nullptr, IDC_IBEAM);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = name.c_str();
  return RegisterClassA(&windowClass) != 0;
}

void KelMainWindow::UnregisterWindowClass(HINSTANCE instance) { UnregisterClassA(ClassName(instance).c_str(), instance); }

KelMainWindow::KelMainWindow(HINSTANCE instance) : instance_(instance) {
  LoadFont();
  MeasureFont();
}

KelMainWindow::~KelMainWindow() {
  ReleaseSettings();
  if (window_ != nullptr) {
    DragAcceptFiles(window_, FALSE);
    DestroyWindow(window_);
  }
}

bool KelMainWindow::Create() {
  createdWidth_ = kDefaultColumns * cx_ + 2 * GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXVSCROLL);
  createdHeight_ = kDefaultRows * cy_ + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
                   GetSystemMetrics(SM_CYHSCROLL);
  RECT position;  // left, top, width, height
  const bool placed = LoadPosition(position);
  if (placed) {
    createdWidth_ = position.right;
    createdHeight_ = position.bottom;
  }
  const std::string name = ClassName(instance_);
  window_ = CreateWindowExA(0, name.c_str(), kIdleTitle, WS_OVERLAPPEDWINDOW | WS_VSCROLL,
                            placed ? position.left : CW_USEDEFAULT, placed ? position.top : CW_USEDEFAULT,
                            createdWidth_, createdHeight_, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  UpdateScrollRange();
  // Frames differ between systems (and from what the metrics say): the
  // window is made to hold exactly 80 x 25 cells.
  const SIZE exact = OuterSize(window_, kDefaultColumns * cx_, kDefaultRows * cy_);
  if (!placed && (exact.cx != createdWidth_ || exact.cy != createdHeight_)) {
    createdWidth_ = exact.cx;
    createdHeight_ = exact.cy;
    SetWindowPos(window_, nullptr, 0, 0, exact.cx, exact.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  LoadBackground();
  ShowWindow(window_, SW_SHOWMINIMIZED);
  DragAcceptFiles(window_, TRUE);
  return true;
}

void KelMainWindow::Show() {
  if (shown_ || window_ == nullptr) return;
  shown_ = true;
  ShowWindow(window_, SW_RESTORE);
  UpdateWindow(window_);
}

void KelMainWindow::BeginTitle(const std::string& scriptPath) {
  if (titleNesting_++ != 0 || window_ == nullptr) return;
  std::string name = scriptPath.substr(scriptPath.find_last_of(":\\/") == std::string::npos
                                           ? 0
                                           : scriptPath.find_last_of(":\\/") + 1);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  SetWindowTextA(window_, (name + " - Vetra").c_str());
}

void KelMainWindow::EndTitle() {
  if (titleNesting_ > 0 && --titleNesting_ == 0 && window_ != nullptr) SetWindowTextA(window_, kIdleTitle);
}

// ===================================================================
// Output
// ===================================================================

void KelMainWindow::MakeCursorLineWritable() {
  std::string& line = lines_[static_cast<std::size_t>(cursorLine_)];
  if (static_cast<int>(line.size()) < cursorColumn_) line.resize(static_cast<std::size_t>(cursorColumn_), ' ');
}

void KelMainWindow::TrimLine(int line) {
  std::string& text = lines_[static_cast<std::size_t>(line)];
  const std::size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
}

void KelMainWindow::InvalidateCells(int line, int fromColumn, int toColumn) {
  if (window_ == nullptr || line < topLine_ || line >= topLine_ + rows_) return;
  RECT cells{fromColumn * cx_, (line - topLine_) * cy_, toColumn * cx_, (line - topLine_ + 1) * cy_};
  InvalidateRect(window_, &cells, TRUE);
}

void KelMainWindow::NewLine() {
  TrimLine(cursorLine_);
  cursorColumn_ = 0;
  const int count = static_cast<int>(lines_.size());
  if (cursorLine_ == count - 1) {
    if (count < capacity_) {
      lines_.emplace_back();
      ++cursorLine_;
      UpdateScrollRange();
    } else {
      // The buffer is full: the oldest line goes, and the view with it.
      lines_.erase(lines_.begin());
      lines_.emplace_back();
      if (topLine_ == largestTop_ && topLine_ > 0) --topLine_;
      ShiftSelectionUp();
      if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
    }
  } else {
    ++cursorLine_;
  }
  lines_[static_cast<std::size_t>(cursorLine_)].clear();
  ScrollToBottom();
}

void KelMainWindow::PutText(const char* text, std::size_t count) {
  MakeCursorLineWritable();
  std::string& line = lines_[static_cast<std::size_t>(cursorLine_)];
  const auto column = static_cast<std::size_t>(cursorColumn_);
  if (line.size() < column + count) line.resize(column + count, ' ');
  line.replace(column, count, text, count);
  InvalidateCells(cursorLine_, cursorColumn_, cursorColumn_ + static_cast<int>(count));
  cursorColumn_ += static_cast<int>(count);
}

bool KelMainWindow::Write(const char* text, std::size_t length) {
  if (writing_) return false;
  writing_ = true;
  Show();
  if (!atBottom_) ScrollToBottom();
  static constexpr char kControls[] = "\n\r\t\b\a\x1A\x1B";
  std::size_t at = 0;
  while (at < length) {
    std::size_t run = 0;
    while (at + run < length && std::memchr(kControls, text[at + run], sizeof kControls - 1) == nullptr) ++run;
    if (run > 0) {
      const std::size_t fit = std::min(run, static_cast<std::size_t>(columns_ - cursorColumn_));
      PutText(text + at, fit);
      at += fit;
    } else {
      switch (text[at++]) {
        case '\a': MessageBeep(0); break;
        case '\b':
          if (cursorColumn_ > 0) {
            --cursorColumn_;
          } else if (cursorLine_ > 0) {
            TrimLine(cursorLine_);
            --cursorLine_;
            cursorColumn_ = columns_ - 1;
          } else {
            break;
          }
          PutText(" ", 1);
          --cursorColumn_;
          break;
        case '\t': {
          const int spaces = std::min(8 - cursorColumn_ % 8, columns_ - cursorColumn_);
          PutText("        ", static_cast<std::size_t>(spaces));
          break;
        }
        case '\n': NewLine(); break;
        case '\r': cursorColumn_ = 0; break;
        default: break;  // 26 and 27 are dropped
      }
    }
    if (cursorColumn_ >= columns_) NewLine();
  }
  writing_ = false;
  PlaceCaret();
  return true;
}

void KelMainWindow::GetCursor(int& column, int& row) const {
  column = cursorColumn_;
  row = cursorLine_ - topLine_;
}

void KelMainWindow::GetSize(int& columns, int& rows) const {
  columns = columns_;
  rows = rows_;
}

void KelMainWindow::SetCursor(int column, int row) {
  Show();
  TrimLine(cursorLine_);
  while (topLine_ + row >= static_cast<int>(lines_.size()) && static_cast<int>(lines_.size()) < capacity_) {
    cursorLine_ = static_cast<int>(lines_.size()) - 1;
    NewLine();
  }
  if (!atBottom_) ScrollToBottom();
  cursorLine_ = topLine_ + row;
  while (cursorLine_ >= static_cast<int>(lines_.size())) --cursorLine_;
  cursorColumn_ = column;
  PlaceCaret();
}

void KelMainWindow::Clear() {
  Show();
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
  const int count = static_cast<int>(lines_.size());
  for (int i = std::max(0, count - rows_); i < count; ++i) lines_[static_cast<std::size_t>(i)].clear();
  SetCursor(0, 0);
}

void KelMainWindow::SetCapacity(int lines) {
  capacity_ = std::max(lines, rows_);
  while (static_cast<int>(lines_.size()) >= capacity_) lines_.erase(lines_.begin());
  if (lines_.empty()) lines_.emplace_back();
  cursorLine_ = std::min(cursorLine_, static_cast<int>(lines_.size()) - 1);
  topLine_ = 0;
  UpdateScrollRange();
  ScrollToBottom();
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
}

// ===================================================================
// Painting, caret, scrolling, sizing
// ===================================================================

HFONT KelMainWindow::Font() const {
  return font_ != nullptr ? font_ : static_cast<HFONT>(GetStockObject(SYSTEM_FIXED_FONT));
}

void KelMainWindow::MeasureFont() {
  HWND desktop = GetDesktopWindow();
  HDC context = GetDC(desktop);
  HGDIOBJ old = SelectObject(context, Font());
  TEXTMETRICA metrics{};
  GetTextMetricsA(context, &metrics);
  SelectObject(context, old);
  ReleaseDC(desktop, context);
  cx_ = std::max<int>(1, metrics.tmAveCharWidth);
  verticalOffset_ = metrics.tmInternalLeading;
  cy_ = std::max<int>(1, metrics.tmHeight - metrics.tmInternalLeading);
}

void KelMainWindow::Paint() {
  if (paintsSeen_ < 2) {  // the first paints draw the whole window
    ++paintsSeen_;
    InvalidateRect(window_, nullptr, TRUE);
  }
  if (scrollBarStale_) {
    scrollBarStale_ = false;
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_POS | SIF_DISABLENOSCROLL, 0, largestTop_, 0, topLine_, 0};
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
  }
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window_, &paint);
  SetBkMode(context, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(context, Font());
  SetTextColor(context, textColour_);
  const int first = topLine_ + paint.rcPaint.top / cy_;
  const int last = std::min<int>(static_cast<int>(lines_.size()) - 1, topLine_ + (paint.rcPaint.bottom - 1) / cy_);
  for (int line = first; line <= last; ++line) {
    const std::string& text = lines_[static_cast<std::size_t>(line)];
    const int end = std::min<int>(static_cast<int>(text.size()), columns_);
    const int y = (line - topLine_) * cy_ - verticalOffset_;
    // Runs of text end before two spaces, so each keeps the cell grid.
    for (int column = 0; column < end;) {
      if (text[static_cast<std::size_t>(column)] == ' ') {
        ++column;
        continue;
      }
      int stop = column + 1;
      while (stop < end && !(text[static_cast<std::size_t>(stop)] == ' ' &&
                             (stop + 1 >= end || text[static_cast<std::size_t>(stop) + 1] == ' '))) {
        ++stop;
      }
      TextOutA(context, column * cx_, y, text.data() + column, stop - column);
      column = stop;
    }
  }
  SelectObject(context, oldFont);
  if (selected_) PaintSelection(context, first, last);
  EndPaint(window_, &paint);
  PlaceCaret();
}

void KelMainWindow::PlaceCaret() {
  if (hasFocus_) SetCaretPos(cursorColumn_ * cx_, (cursorLine_ - topLine_) * cy_);
}

void KelMainWindow::UpdateScrollRange() {
  largestTop_ = std::max(0, static_cast<int>(lines_.size()) - rows_);
  topLine_ = std::min(topLine_, largestTop_);
  if (window_ == nullptr) return;
  // Shown disabled rather than hidden when there is nothing to scroll, so the
  // width in cells never changes as output grows.
  // OPTIMIZATION: the bar is drawn with the next paint, not once per line
  // of output; a corner of the client asks for that paint.
  SCROLLINFO info{sizeof info, SIF_RANGE | SIF_POS | SIF_DISABLENOSCROLL, 0, largestTop_, 0, topLine_, 0};
  SetScrollInfo(window_, SB_VERT, &info, FALSE);
  if (!scrollBarStale_) {
    scrollBarStale_ = true;
    RECT corner{0, 0, 1, 1};
    InvalidateRect(window_, &corner, FALSE);
  }
}

void KelMainWindow::ScrollBy(int lines) {
  lines = std::clamp(topLine_ + lines, 0, largestTop_) - topLine_;
  if (lines == 0) return;
  topLine_ += lines;
  // OPTIMIZATION: the view is redrawn with the next paint, which comes when
  // messages are handled between statements: output of many lines costs one
  // paint, not one scroll of the window per line.
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
  UpdateScrollRange();
  PlaceCaret();
}

void KelMainWindow::ScrollToBottom() {
  UpdateScrollRange();
  ScrollBy(largestTop_ - topLine_);
}

void KelMainWindow::OnVerticalScroll(int code, int thumb) {
  atBottom_ = false;
  const int page = std::max(1, clientHeight_ / cy_);
  int change = 0;
  switch (code) {
    case SB_LINEUP: change = -1; break;
    case SB_LINEDOWN: change = 1; break;
    case SB_PAGEUP: change = -page; break;
    case SB_PAGEDOWN: change = page; break;
    case SB_THUMBTRACK: change = thumb - topLine_; break;
    case SB_TOP: change = -topLine_; break;
    case SB_BOTTOM:
      change = largestTop_ - topLine_;
      atBottom_ = largestTop_ != 0;
      break;
    default: break;
  }
  ScrollBy(change);
  UpdateScrollRange();
}

void KelMainWindow::OnSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
  const int columns = std::max(1, width / cx_);
  const int rows = std::max(1, height / cy_);
  RECT outer;
  GetWindowRect(window_, &outer);
  const bool resized = outer.right - outer.left != createdWidth_ || outer.bottom - outer.top != createdHeight_;
  if (resized && (width != columns * cx_ || height != rows * cy_)) {
    Resize(columns, rows);
    return;
  }
  columns_ = columns;
  rows_ = rows;
  capacity_ = std::max(capacity_, rows_);
  UpdateScrollRange();
}

void KelMainWindow::Resize(int columns, int rows) {
  Show();
  capacity_ = std::max(capacity_, rows_);
  columns_ = std::max(1, columns);
  rows_ = std::max(1, rows);
  capacity_ = std::max(capacity_, rows_);
  if (window_ != nullptr) {
    const SIZE outer = OuterSize(window_, columns_ * cx_, rows_ * cy_);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  UpdateScrollRange();
  ScrollToBottom();
}

// ===================================================================
// Keys
// ===================================================================

void KelMainWindow::PushKey(int key) {
  if (keyCount_ < kKeyQueueSize) keys_[static_cast<std::size_t>(keyCount_++)] = key;
}

void KelMainWindow::PushKeyFront(int key) {
  const int kept = std::min(keyCount_, kKeyQueueSize - 1);
  std::memmove(keys_.data() + 1, keys_.data(), sizeof(int) * static_cast<std::size_t>(kept));
  keys_[0] = key;
  keyCount_ = kept + 1;
}

bool KelMainWindow::TakeKey(int& key) {
  if (keyCount_ == 0) return false;
  key = keys_[0];
  --keyCount_;
  std::memmove(keys_.data(), keys_.data() + 1, sizeof(int) * static_cast<std::size_t>(keyCount_));
  return true;
}

void KelMainWindow::OnKeyDown(WPARAM key) {
  if (key == VK_CANCEL && ControlDown()) {
    BreakRequested = 1;
    return;
  }
  if ((key == 'V' && ControlDown()) || (key == VK_INSERT && ShiftDown())) {
    Paste();
    // Nothing else comes of the keys: not the character 22 of Ctrl+V either.
    pasteCharacterDue_ = key == 'V';
    return;
  }
  if (selected_ && ControlDown()) {
    if (key == VK_INSERT || key == 'C' || key == 'X') Copy();
    if (key == 'X') RemoveSelection();
    if (key == VK_INSERT || key == 'C' || key == 'X') return;
  }
  if ((key >= 33 && key <= 46) || (key >= 112 && key <= 127)) PushKey(0x100 + static_cast<int>(key));
}

void KelMainWindow::OnChar(WPARAM character, LPARAM flags) {
  RemoveSelection();
  if (pasteCharacterDue_ && character == 22) {
    pasteCharacterDue_ = false;
    return;
  }
  pasteCharacterDue_ = false;
  const int scanCode = static_cast<int>((flags >> 16) & 0xFF);
  if (character == 3 && scanCode == 0x46) {  // the Break key
    BreakRequested = 1;
    return;
  }
  if (character == '\t' && ShiftDown()) {
    PushKey(0x109);
    return;
  }
  for (int repeat = std::max(1, static_cast<int>(flags & 0xFFFF)); repeat > 0; --repeat) {
    PushKey(static_cast<int>(character & 0xFF));
  }
}

void KelMainWindow::Paste() {
  if (!OpenClipboard(window_)) return;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const auto* bytes = static_cast<const unsigned char*>(GlobalLock(data))) {
      const SIZE_T size = GlobalSize(data);
      for (SIZE_T i = 0; i < size && bytes[i] != 0; ++i) PushKey(bytes[i]);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
}

void KelMainWindow::DropFiles(HDROP drop) {
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    char name[520];
    if (DragQueryFileA(drop, i, name, sizeof name) == 0) continue;
    if (i > 0) PushKey(' ');
    for (const char* at = name; *at != '\0'; ++at) PushKey(static_cast<unsigned char>(*at));
  }
  DragFinish(drop);
}

// ===================================================================
// Selection and copy
// ===================================================================

KelMainWindow::Cell KelMainWindow::CellAt(int x, int y) const {
  return Cell{x / cx_, topLine_ + (y + cy_ / 2 - 1 - verticalOffset_) / cy_};
}

// The pointer at [x], [y] while the mouse is captured: beyond the top or the
// bottom the view scrolls a line (and the timer keeps it scrolling while the
// pointer stays out); the selection runs between the anchor and the cell
// under the pointer.
void KelMainWindow::TrackPointer(int x, int y) {
  pointerX_ = x;
  pointerY_ = y;
  const int before = topLine_;
  if (y < 0) ScrollBy(-1);
  if (y >= clientHeight_) ScrollBy(1);
  if (topLine_ != before) SetTimer(window_, kAutoscrollTimer, 20, nullptr);
  x = std::clamp(x, 0, clientWidth_);
  y = std::clamp(y, 0, std::max(0, clientHeight_ - 1));
  Cell cell = CellAt(x, y);
  cell.line = std::clamp(cell.line, 0, static_cast<int>(lines_.size()) - 1);
  selectionStart_ = std::min(anchor_, cell);
  selectionEnd_ = std::max(anchor_, cell);
  selected_ = true;
  pointer_ = cell;
  InvalidateRect(window_, nullptr, TRUE);
}

void KelMainWindow::RemoveSelection() {
  if (captured_) {
    captured_ = false;
    ReleaseCapture();
  }
  if (!selected_) return;
  selected_ = false;
  InvalidateRect(window_, nullptr, TRUE);
}

// The buffer dropped its first line: the selection follows its text.
void KelMainWindow::ShiftSelectionUp() {
  if (!selected_) return;
  if (--selectionEnd_.line < 0) {
    RemoveSelection();
    return;
  }
  if (--selectionStart_.line < 0) selectionStart_ = Cell{0, 0};
}

void KelMainWindow::PaintSelection(HDC context, int first, int last) {
  for (int line = std::max(first, selectionStart_.line); line <= std::min(last, selectionEnd_.line); ++line) {
    const int length = std::min<int>(static_cast<int>(lines_[static_cast<std::size_t>(line)].size()), columns_);
    const int from = line == selectionStart_.line ? selectionStart_.column : 0;
    const int to = std::min(line == selectionEnd_.line ? selectionEnd_.column : columns_, length);
    if (from >= to) continue;
    RECT cells{from * cx_, (line - topLine_) * cy_, to * cx_, (line - topLine_ + 1) * cy_};
    InvertRect(context, &cells);
  }
}

// The selected text to the clipboard: a line shorter than the width ends
// with a line break; a full line (one that wrapped) joins the next.
void KelMainWindow::Copy() {
  std::string text;
  for (int line = selectionStart_.line; line <= selectionEnd_.line && line < static_cast<int>(lines_.size()); ++line) {
    const std::string& content = lines_[static_cast<std::size_t>(line)];
    const int from = line == selectionStart_.line ? selectionStart_.column : 0;
    const int limit = line == selectionEnd_.line ? selectionEnd_.column : columns_;
    const int to = std::min<int>(limit, static_cast<int>(content.size()));
    if (from < to) text.append(content, static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    if (static_cast<int>(content.size()) < limit) text += "\r\n";
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (block == nullptr) return;
  if (char* bytes = static_cast<char*>(GlobalLock(block))) {
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(block);
  }
  bool handedOver = false;
  if (OpenClipboard(window_)) {
    EmptyClipboard();
    handedOver = SetClipboardData(CF_TEXT, block) != nullptr;
    CloseClipboard();
  }
  if (!handedOver) GlobalFree(block);
}

// ===================================================================
// The window procedure
// ===================================================================

LRESULT CALLBACK KelMainWindow::MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<KelMainWindow*>(create->lpCreateParams)->window_ = window;
  }
  auto* self = reinterpret_cast<KelMainWindow*>(GetWindowLongPtrA(window, 0));
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT KelMainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      HMENU menu = GetSystemMenu(window_, FALSE);
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kBreakCommand, "Brea&k\tCtrl+Break");
      AppendMenuA(menu, MF_STRING, kFontCommand, "&Font...");
      AppendMenuA(menu, MF_STRING, kBackgroundCommand, "&Background...");
      AppendMenuA(menu, MF_STRING, kSaveSettingsCommand, "S&ave Settings");
      return 0;
    }
    case WM_SYSCOMMAND:
      switch (wParam) {
        case kBreakCommand: BreakRequested = 1; return 0;
        case kFontCommand: ChooseFontCommand(); return 0;
        case kBackgroundCommand: ChooseBackgroundCommand(); return 0;
        case kSaveSettingsCommand: SaveSettings(); return 0;
        default: break;
      }
      break;
    case WM_PAINT: Paint(); return 0;
    case WM_SIZE:
      if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED || wParam == SIZE_MAXSHOW) {
        OnSize(LOWORD(lParam), HIWORD(lParam));
      }
      return 0;
    case WM_GETMINMAXINFO:
      if (window_ != nullptr) {
        const SIZE smallest = OuterSize(window_, cx_ + 1, cy_ + 1);
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = POINT{smallest.cx, smallest.cy};
      }
      return 0;
    case WM_VSCROLL: {
      SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
      GetScrollInfo(window_, SB_VERT, &info);
      OnVerticalScroll(LOWORD(wParam), info.nTrackPos);
      return 0;
    }
    case WM_SETFOCUS:
      hasFocus_ = true;
      CreateCaret(window_, nullptr, cx_, cy_);
      PlaceCaret();
      ShowCaret(window_);
      return 0;
    case WM_KILLFOCUS:
      hasFocus_ = false;
      HideCaret(window_);
      DestroyCaret();
      return 0;
    case WM_KEYDOWN: OnKeyDown(wParam); break;
    case WM_CHAR:
      if (wParam == 0) break;
      OnChar(wParam, lParam);
      return 0;
    case WM_DROPFILES: DropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_TIMER:
      if (wParam == 666) return 0;  // the end of suspend's wait, seen by its own loop
      if (wParam == kAutoscrollTimer) {
        if (captured_) TrackPointer(pointerX_, pointerY_);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      RemoveSelection();
      SetCapture(window_);
      captured_ = true;
      anchor_ = pointer_ = CellAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSEMOVE:
      if (captured_) TrackPointer(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONUP:
      if (captured_) {
        TrackPointer(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        captured_ = false;
        ReleaseCapture();
      }
      return 0;
    case WM_CLOSE:
      // The run stops at its next statement; the program's entry destroys
      // the window when the run is over.
      BreakRequested = 1;
      CloseRequested = 1;
      return 0;
    default: break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace kel
