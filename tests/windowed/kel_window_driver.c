/* The windowed program's test driver: starts VetraW32 with a script, finds
   its console window, types keys into it, and reports how the program ended.

     kel_window_driver PROGRAM SCRIPT [KEYS]

   KEYS are typed in order once the window exists: plain characters as
   WM_CHAR, and in braces {ENTER} {BS} {TAB} {CTRL-Z} {CTRL-C} (characters),
   {UP} {DOWN} {LEFT} {RIGHT} {HOME} {END} {PGUP} {PGDN} {INS} {DEL} {F1}
   (keys), {S-TAB} {CTRL-V} (with their modifier held, as real input),
   {CLIP:text} (puts text on the clipboard), {BREAK} (the system menu's
   Break), {CLOSE} (closes the window), {WAIT} (300 ms), {TOP} (scrolls to
   the top), {COPYALL} (drags the mouse over the whole client area, copies
   with Ctrl+Insert and writes what the clipboard then holds to window.txt),
   {TITLE} (appends the window's title to title.txt), {SAVE} (the system
   menu's Save Settings), {MINIMIZE}, {SHOT} (asks the test runner for a
   screenshot: creates shot.request and waits for shot.done), {FONT} and
   {BACKGROUND} (the system menu's choosers), {READY} (waits until the
   script has made the file ready.txt, up to 20 seconds, and removes it). While it waits, every dialog
   box of the program (a message box, a chooser) is read (its message text
   appended to boxes.txt) and accepted with OK. Prints "exit N"; a program
   still running after 30 seconds is ended (exit 124). */

#include <windows.h>
#include <stdio.h>
#include <string.h>

static DWORD processId;
static HWND found;

static BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM unused) {
  DWORD owner = 0;
  char name[64];
  (void)unused;
  GetWindowThreadProcessId(window, &owner);
  if (owner != processId || GetClassNameA(window, name, sizeof name) == 0) return TRUE;
  if (strncmp(name, "Vetra", 5) != 0) return TRUE;
  found = window;
  return FALSE;
}

static void Input(WORD key, BOOL up) {
  INPUT input;
  memset(&input, 0, sizeof input);
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

static void PressChord(HWND window, WORD modifier, WORD key) {
  SetForegroundWindow(window);
  Sleep(100);
  Input(modifier, FALSE);
  Input(key, FALSE);
  Input(key, TRUE);
  Input(modifier, TRUE);
  Sleep(100);
}

/* Puts [text] on the clipboard, with \r, \n, \t and \\ in it read as C reads them. */
static void SetClipboardText(HWND window, const char* text, size_t length) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
  char* bytes = (char*)GlobalLock(block);
  size_t i, n = 0;
  for (i = 0; i < length; ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < length) {
      c = text[++i];
      c = c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    bytes[n++] = c;
  }
  bytes[n] = 0;
  GlobalUnlock(block);
  if (OpenClipboard(window)) {
    EmptyClipboard();
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
  }
}

/* Selects everything the window shows, copies it, and saves the copy. */
static void CopyAll(HWND window) {
  RECT client;
  FILE* out;
  GetClientRect(window, &client);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 0));
  PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(client.right - 1, client.bottom - 1));
  PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(client.right - 1, client.bottom - 1));
  Sleep(300);
  PressChord(window, VK_CONTROL, VK_INSERT);
  Sleep(300);
  out = fopen("window.txt", "wb");
  if (out == NULL) return;
  if (OpenClipboard(NULL)) {
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data != NULL ? (const char*)GlobalLock(data) : NULL;
    if (text != NULL) {
      fputs(text, out);
      GlobalUnlock(data);
    }
    CloseClipboard();
  }
  fclose(out);
}

static void SaveTitle(HWND window) {
  char title[256];
  FILE* out = fopen("title.txt", "ab");
  if (out == NULL) return;
  GetWindowTextA(window, title, sizeof title);
  fprintf(out, "%s\n", title);
  fclose(out);
}

/* Lets the test runner, which watches for shot.request, take a screenshot. */
static void RequestScreenshot(void) {
  int waited;
  FILE* request = fopen("shot.request", "wb");
  if (request == NULL) return;
  fclose(request);
  for (waited = 0; waited < 100 && GetFileAttributesA("shot.done") == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(100);
  DeleteFileA("shot.done");
}

/* Waits for the script to say it is ready for what comes next. */
static void WaitUntilReady(void) {
  int waited;
  for (waited = 0; waited < 200 && GetFileAttributesA("ready.txt") == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(100);
  Sleep(100);
  DeleteFileA("ready.txt");
}

static const struct {
  const char* name;
  WORD key;
} kKeys[] = {{"UP", VK_UP},     {"DOWN", VK_DOWN}, {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT},
             {"HOME", VK_HOME}, {"END", VK_END},   {"PGUP", VK_PRIOR}, {"PGDN", VK_NEXT},
             {"INS", VK_INSERT}, {"DEL", VK_DELETE}, {"F1", VK_F1}};

static const struct {
  const char* name;
  char character;
} kCharacters[] = {{"ENTER", 13}, {"BS", 8}, {"TAB", 9}, {"CTRL-Z", 26}, {"CTRL-C", 3}};

static void Type(HWND window, const char* keys) {
  while (*keys != 0) {
    const char* end = *keys == '{' ? strchr(keys, '}') : NULL;
    if (end == NULL) {
      PostMessageA(window, WM_CHAR, (unsigned char)*keys++, 1);
      continue;
    }
    char name[256];
    size_t length = (size_t)(end - keys - 1);
    if (length >= sizeof name) length = sizeof name - 1;
    memcpy(name, keys + 1, length);
    name[length] = 0;
    keys = end + 1;
    size_t i;
    for (i = 0; i < sizeof kKeys / sizeof kKeys[0]; ++i) {
      if (strcmp(name, kKeys[i].name) == 0) PostMessageA(window, WM_KEYDOWN, kKeys[i].key, 1);
    }
    for (i = 0; i < sizeof kCharacters / sizeof kCharacters[0]; ++i) {
      if (strcmp(name, kCharacters[i].name) == 0) PostMessageA(window, WM_CHAR, (unsigned char)kCharacters[i].character, 1);
    }
    if (strcmp(name, "S-TAB") == 0) PressChord(window, VK_SHIFT, VK_TAB);
    if (strcmp(name, "CTRL-V") == 0) PressChord(window, VK_CONTROL, 'V');
    if (strncmp(name, "CLIP:", 5) == 0) SetClipboardText(window, name + 5, length - 5);
    if (strcmp(name, "BREAK") == 0) PostMessageA(window, WM_SYSCOMMAND, 1641, 0);
    if (strcmp(name, "CLOSE") == 0) PostMessageA(window, WM_CLOSE, 0, 0);
    if (strcmp(name, "WAIT") == 0) Sleep(300);
    if (strcmp(name, "TOP") == 0) PostMessageA(window, WM_VSCROLL, SB_TOP, 0);
    if (strcmp(name, "COPYALL") == 0) CopyAll(window);
    if (strcmp(name, "TITLE") == 0) SaveTitle(window);
    if (strcmp(name, "SAVE") == 0) PostMessageA(window, WM_SYSCOMMAND, 1640, 0);
    if (strcmp(name, "MINIMIZE") == 0) PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (strcmp(name, "SHOT") == 0) RequestScreenshot();
    if (strcmp(name, "READY") == 0) WaitUntilReady();
    if (strcmp(name, "FONT") == 0) PostMessageA(window, WM_SYSCOMMAND, 1638, 0);
    if (strcmp(name, "BACKGROUND") == 0) PostMessageA(window, WM_SYSCOMMAND, 1639, 0);
  }
}

/* Reads and accepts the program's dialog boxes. */
static BOOL CALLBACK AnswerDialog(HWND window, LPARAM unused) {
  DWORD owner = 0;
  char name[64];
  char text[1024];
  (void)unused;
  GetWindowThreadProcessId(window, &owner);
  if (owner != processId || !IsWindowVisible(window) || GetClassNameA(window, name, sizeof name) == 0) return TRUE;
  if (strcmp(name, "#32770") != 0) return TRUE;
  if (GetDlgItemTextA(window, 0xFFFF, text, sizeof text) > 0) {
    FILE* out = fopen("boxes.txt", "ab");
    if (out != NULL) {
      fprintf(out, "%s\n", text);
      fclose(out);
    }
  }
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

int main(int argc, char** argv) {
  char command[4096];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  DWORD exitCode = 0;
  int waited;
  if (argc < 3) {
    fprintf(stderr, "usage: kel_window_driver PROGRAM SCRIPT [KEYS]\n");
    return 2;
  }
  snprintf(command, sizeof command, "\"%s\" %s", argv[1], argv[2]);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    fprintf(stderr, "cannot start %s (%lu)\n", argv[1], GetLastError());
    return 2;
  }
  processId = process.dwProcessId;
  for (waited = 0; found == NULL && waited < 200; ++waited) {
    if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
    EnumWindows(FindWindowOfProcess, 0);
  }
  if (found != NULL && argc > 3) Type(found, argv[3]);
  for (waited = 0; waited < 300 && WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT; ++waited) {
    EnumWindows(AnswerDialog, 0);
  }
  if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 124);
    WaitForSingleObject(process.hProcess, 5000);
  }
  GetExitCodeProcess(process.hProcess, &exitCode);
  printf("exit %lu\n", exitCode);
  return 0;
}
