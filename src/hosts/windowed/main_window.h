#pragma once
// The windowed program's console window: a scrolling buffer of text lines
// that script output is written into as on a teletype, painted on a grid of
// character cells, with a cursor, a caret, the keys typed into it and the
// system-menu commands that break a running script.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kel {

class KelMainWindow {
 public:
  static constexpr int kDefaultColumns = 80;
  static constexpr int kDefaultRows = 25;
  static constexpr int kDefaultCapacity = 1000;
  static constexpr int kKeyQueueSize = 5000;

  // Registers the window class of [instance]; false when it cannot be.
  static bool RegisterWindowClass(HINSTANCE instance);
  static void UnregisterWindowClass(HINSTANCE instance);

  explicit KelMainWindow(HINSTANCE instance);
  ~KelMainWindow();
  KelMainWindow(const KelMainWindow&) = delete;
  KelMainWindow& operator=(const KelMainWindow&) = delete;

  // Creates the window, minimized; false when it cannot be.
  bool Create();
  HWND Handle() const { return window_; }

  // Writes [text] at the cursor; false (nothing written) when output is
  // already in progress.
  bool Write(const char* text, std::size_t length);
  void Clear();
  void GetCursor(int& column, int& row) const;
  void SetCursor(int column, int row);
  void GetSize(int& columns, int& rows) const;
  void Resize(int columns, int rows);
  void SetCapacity(int lines);
  void BeginTitle(const std::string& scriptPath);
  void EndTitle();
  void Show();

  // The key queue: pushed by the window's keys, paste and dropped files.
  void PushKey(int key);
  void PushKeyFront(int key);
  // The first key without taking it, or 0 when none waits.
  int PeekKey() const { return keyCount_ > 0 ? keys_[0] : 0; }
  // Takes the first key; false when none waits.
  bool TakeKey(int& key);

 private:
  static LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  // Output
  void MakeCursorLineWritable();
  void TrimLine(int line);
  void NewLine();
  void PutText(const char* text, std::size_t count);
  void InvalidateCells(int line, int fromColumn, int toColumn);

  // Painting, scrolling, sizing
  void Paint();
  void PlaceCaret();
  void MeasureFont();
  void UpdateScrollRange();
  void ScrollBy(int lines);
  void ScrollToBottom();
  void OnVerticalScroll(int code, int thumb);
  void OnSize(int width, int height);
  void OnKeyDown(WPARAM key);
  void OnChar(WPARAM character, LPARAM flags);
  void Paste();
  void DropFiles(HDROP drop);

  // Settings in the registry, and the choosers
  void LoadFont();
  bool LoadPosition(RECT& position);  // left, top, width, height
  void LoadBackground();
  void SetBackground(COLORREF colour);
  void ReleaseSettings();
  void SaveSettings();
  void ChooseFontCommand();
  void ChooseBackgroundCommand();

  // Selection by mouse, and copying it
  struct Cell {
    int column, line;
    bool operator<(const Cell& other) const {
      return line < other.line || (line == other.line && column < other.column);
    }
  };
  Cell CellAt(int x, int y) const;
  void TrackPointer(int x, int y);
  void RemoveSelection();
  void ShiftSelectionUp();
  void PaintSelection(HDC context, int first, int last);
  void Copy();
  HFONT Font() const;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::array<int, kKeyQueueSize> keys_{};
  int keyCount_ = 0;
  int titleNesting_ = 0;
  int createdWidth_ = 0, createdHeight_ = 0;
  int cx_ = 8, cy_ = 16;
  int clientWidth_ = 0, clientHeight_ = 0;
  int columns_ = kDefaultColumns, rows_ = kDefaultRows;
  int capacity_ = kDefaultCapacity;
  int cursorColumn_ = 0, cursorLine_ = 0;
  int largestTop_ = 0;
  int topLine_ = 0;
  bool atBottom_ = false;
  // The lines of the buffer, trimmed, each at most the visible width; the
  // cursor line may be padded with spaces up to the cursor while written.
  std::vector<std::string> lines_{1};
  HFONT font_ = nullptr;  // null: the stock fixed font
  LOGFONTA logFont_{};
  COLORREF textColour_ = RGB(0, 0, 0);
  COLORREF backgroundColour_ = RGB(255, 255, 255);
  HBRUSH background_ = nullptr;
  int verticalOffset_ = 0;
  bool shown_ = false;
  bool writing_ = false;
  bool hasFocus_ = false;
  int paintsSeen_ = 0;
  bool scrollBarStale_ = false;
  bool pasteCharacterDue_ = false;  // Ctrl+V pasted: its character 22 is dropped  // the bar shows an older range or position
  // The selection runs from start up to (not including) end.
  bool selected_ = false;
  Cell selectionStart_{0, 0}, selectionEnd_{0, 0};
  Cell anchor_{0, 0}, pointer_{0, 0};
  bool captured_ = false;
  int pointerX_ = 0, pointerY_ = 0;
};

}  // namespace kel
