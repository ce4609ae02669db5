// zdrive: drives another Windows program the way the shell and a user would, for the end-to-end
// tests that run under Wine. Every run prints exactly one JSON document on stdout.
//
//   zdrive list     [filters]
//   zdrive wait     [filters] [--count N] [--at-least] [--timeout MS]
//   zdrive children  filters
//   zdrive post      filters [--child-id N] --msg N [--wparam N] [--lparam N] [--all]
//   zdrive send      filters [--child-id N] --msg N [--wparam N] [--lparam N | --text S]
//                    [--timeout MS]
//   zdrive msgboxes [filters] [--timeout MS]
//   zdrive press    [filters] (--button TEXT | --id N) [--via click|command] [--timeout MS]
//   zdrive metrics
//   zdrive procinfo  --pid N
//   zdrive backdrop  (a checkerboard under every window, until killed)
//
// filters: --class NAME --title TEXT --title-prefix TEXT --hwnd N --pid N --exe NAME
//          --visible | --hidden
// Exit status: 0 done, 1 nothing matched or timed out, 2 bad command line.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs; PSAPI_VERSION 2 maps its calls onto kernel32.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;

// Reading another process's window through a message must never hang the test on a stuck target.
constexpr UINT kMessageTimeoutMs = 500;

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

class Json {
 public:
  Json& Begin(char c) {
    Sep();
    out_ += c;
    first_ = true;
    return *this;
  }
  Json& End(char c) {
    out_ += c;
    first_ = false;
    return *this;
  }
  Json& Key(const char* k) {
    Sep();
    Str(k);
    out_ += ':';
    first_ = true;
    return *this;
  }
  Json& Val(const std::string& s) {
    Sep();
    Str(s);
    return *this;
  }
  Json& Val(const std::wstring& s) { return Val(Utf8(s)); }
  Json& Val(const char* s) { return Val(std::string(s)); }
  Json& Val(bool b) {
    Sep();
    out_ += b ? "true" : "false";
    return *this;
  }
  template <typename T>
  requires std::is_integral_v<T> Json& Val(T v) {
    Sep();
    out_ += std::to_string(v);
    return *this;
  }
  Json& Null() {
    Sep();
    out_ += "null";
    return *this;
  }
  template <typename T>
  Json& Field(const char* k, const T& v) {
    Key(k);
    return Val(v);
  }
  Json& Rect(const char* k, const RECT& r) {
    Key(k).Begin('{');
    Field("left", r.left).Field("top", r.top).Field("right", r.right).Field("bottom", r.bottom);
    return End('}');
  }
  const std::string& Text() const { return out_; }

 private:
  void Sep() {
    if (!first_) out_ += ',';
    first_ = false;
  }
  void Str(const std::string& s) {
    out_ += '"';
    for (const unsigned char c : s) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (c < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out_ += buf;
      } else {
        out_ += static_cast<char>(c);
      }
    }
    out_ += '"';
  }
  std::string out_;
  bool first_ = true;
};

struct Args {
  std::wstring command;
  std::map<std::wstring, std::wstring> values;
  std::vector<std::wstring> flags;

  bool Has(const wchar_t* name) const {
    for (const auto& f : flags)
      if (f == name) return true;
    return values.count(name) != 0;
  }
  std::optional<std::wstring> Get(const wchar_t* name) const {
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
};

struct UsageError {
  std::string message;
};

bool TakesValue(const std::wstring& name) {
  static const wchar_t* const kWithValue[] = {
      L"--class",    L"--title",   L"--title-prefix", L"--hwnd",   L"--pid",    L"--exe",
      L"--count",    L"--timeout", L"--msg",          L"--wparam", L"--lparam", L"--text",
      L"--child-id", L"--button",  L"--id",           L"--via"};
  for (const wchar_t* v : kWithValue)
    if (name == v) return true;
  return false;
}

bool IsFlag(const std::wstring& name) {
  return name == L"--visible" || name == L"--hidden" || name == L"--at-least" || name == L"--all";
}

Args Parse(int argc, wchar_t** argv) {
  if (argc < 2) throw UsageError{"no command"};
  Args a;
  a.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (TakesValue(name)) {
      if (i + 1 >= argc) throw UsageError{"option " + Utf8(name) + " needs a value"};
      a.values[name] = argv[++i];
    } else if (IsFlag(name)) {
      a.flags.push_back(name);
    } else {
      throw UsageError{"unknown option " + Utf8(name)};
    }
  }
  return a;
}

long long Number(const Args& a, const wchar_t* name, long long fallback) {
  const auto v = a.Get(name);
  if (!v) return fallback;
  wchar_t* end = nullptr;
  const long long n = std::wcstoll(v->c_str(), &end, 0);
  if (v->empty() || *end != L'\0') throw UsageError{Utf8(name) + " needs a number"};
  return n;
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

// Top-level windows: the internal caption, never a message, so a hung target cannot block us.
std::wstring TitleOf(HWND h) {
  std::wstring s(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  s.resize(static_cast<size_t>(GetWindowTextW(h, s.data(), static_cast<int>(s.size()))));
  return s;
}

// Controls such as edit boxes keep their text outside the caption, so ask the control itself.
std::wstring ControlText(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len))
    return TitleOf(h);
  std::wstring s(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got))
    return TitleOf(h);
  s.resize(got);
  return s;
}

std::wstring ExeOf(DWORD pid) {
  static std::map<DWORD, std::wstring> cache;
  const auto it = cache.find(pid);
  if (it != cache.end()) return it->second;
  std::wstring name;
  if (HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(p, 0, buf, &size)) {
      name = buf;
      const auto slash = name.find_last_of(L"\\/");
      if (slash != std::wstring::npos) name.erase(0, slash + 1);
    }
    CloseHandle(p);
  }
  cache[pid] = name;
  return name;
}

DWORD PidOf(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return pid;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

struct Filter {
  std::optional<std::wstring> cls, title, title_prefix, exe;
  std::optional<HWND> hwnd;
  std::optional<DWORD> pid;
  std::optional<bool> visible;

  static Filter From(const Args& a) {
    Filter f;
    f.cls = a.Get(L"--class");
    f.title = a.Get(L"--title");
    f.title_prefix = a.Get(L"--title-prefix");
    f.exe = a.Get(L"--exe");
    if (a.Has(L"--hwnd")) f.hwnd = reinterpret_cast<HWND>(Number(a, L"--hwnd", 0));
    if (a.Has(L"--pid")) f.pid = static_cast<DWORD>(Number(a, L"--pid", 0));
    if (a.Has(L"--visible") && a.Has(L"--hidden")) throw UsageError{"--visible and --hidden"};
    if (a.Has(L"--visible")) f.visible = true;
    if (a.Has(L"--hidden")) f.visible = false;
    return f;
  }
  bool Empty() const { return !cls && !title && !title_prefix && !exe && !hwnd && !pid; }

  bool Matches(HWND h) const {
    if (hwnd && h != *hwnd) return false;
    // Window classes are matched without regard to case, as Windows does.
    if (cls && !EqualNoCase(ClassOf(h), *cls)) return false;
    if (visible && (IsWindowVisible(h) != FALSE) != *visible) return false;
    if (pid && PidOf(h) != *pid) return false;
    if (title || title_prefix) {
      const std::wstring t = TitleOf(h);
      if (title && t != *title) return false;
      if (title_prefix && t.compare(0, title_prefix->size(), *title_prefix) != 0) return false;
    }
    if (exe && !EqualNoCase(ExeOf(PidOf(h)), *exe)) return false;
    return true;
  }
};

struct EnumContext {
  const Filter* filter;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectMatching(HWND h, LPARAM p) {
  auto* c = reinterpret_cast<EnumContext*>(p);
  if (c->filter->Matches(h)) c->found.push_back(h);
  return TRUE;
}

std::vector<HWND> TopLevel(const Filter& f) {
  EnumContext ctx{&f, {}};
  EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// Direct children only: a dialog's controls, not the innards of a combo box.
std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

long long Handle(HWND h) {
  return static_cast<long long>(reinterpret_cast<UINT_PTR>(h));
}

void WriteWindow(Json& j, HWND h) {
  const LONG style = GetWindowLongW(h, GWL_STYLE);
  const LONG ex = GetWindowLongW(h, GWL_EXSTYLE);
  RECT wr{}, cr{};
  GetWindowRect(h, &wr);
  GetClientRect(h, &cr);
  const DWORD pid = PidOf(h);
  j.Begin('{');
  j.Field("hwnd", Handle(h)).Field("class", ClassOf(h)).Field("title", TitleOf(h));
  j.Field("pid", pid).Field("exe", ExeOf(pid));
  j.Field("visible", IsWindowVisible(h) != FALSE).Field("enabled", IsWindowEnabled(h) != FALSE);
  j.Field("style", static_cast<long long>(static_cast<DWORD>(style)));
  j.Field("exstyle", static_cast<long long>(static_cast<DWORD>(ex)));
  j.Field("topmost", (ex & WS_EX_TOPMOST) != 0).Field("layered", (ex & WS_EX_LAYERED) != 0);
  j.Rect("rect", wr);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  j.Key("client").Begin('{').Field("x", origin.x).Field("y", origin.y);
  j.Field("width", cr.right).Field("height", cr.bottom).End('}');
  j.Field("owner", Handle(GetWindow(h, GW_OWNER)));
  j.End('}');
}

std::optional<bool> CheckState(HWND h, LONG style) {
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
      DWORD_PTR r = 0;
      if (!SendMessageTimeoutW(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r))
        return std::nullopt;
      return r == BST_CHECKED;
    }
    default:
      return std::nullopt;
  }
}

void WriteChild(Json& j, HWND parent, HWND h) {
  const LONG style = GetWindowLongW(h, GWL_STYLE);
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  const std::wstring cls = ClassOf(h);
  j.Begin('{');
  j.Field("hwnd", Handle(h)).Field("class", cls).Field("text", ControlText(h));
  j.Field("id", GetDlgCtrlID(h));
  j.Rect("rect", r);
  j.Field("style", static_cast<long long>(static_cast<DWORD>(style)));
  j.Field("visible", IsWindowVisible(h) != FALSE).Field("enabled", IsWindowEnabled(h) != FALSE);
  j.Key("checked");
  const auto checked = EqualNoCase(cls, L"Button") ? CheckState(h, style) : std::nullopt;
  if (checked)
    j.Val(*checked);
  else
    j.Null();
  j.End('}');
}

void WriteList(Json& j, const char* key, const std::vector<HWND>& hs) {
  j.Key(key).Begin('[');
  for (HWND h : hs) WriteWindow(j, h);
  j.End(']');
}

// The JSON document is the whole of stdout; the status says whether the request was met.
int Finish(Json& j, bool ok, const std::string& error = {}) {
  j.Field("ok", ok);
  if (!ok) j.Field("error", error);
  j.End('}');
  std::fputs(j.Text().c_str(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
  return ok ? kExitOk : kExitNotFound;
}

HWND OneWindow(const Args& a, Json& j) {
  const Filter f = Filter::From(a);
  if (f.Empty()) throw UsageError{"no window named: give --class, --title, --hwnd, ..."};
  const auto hs = TopLevel(f);
  j.Field("matched", static_cast<long long>(hs.size()));
  return hs.empty() ? nullptr : hs.front();
}

HWND ChildTarget(const Args& a, HWND top) {
  if (!a.Has(L"--child-id")) return top;
  return GetDlgItem(top, static_cast<int>(Number(a, L"--child-id", 0)));
}

int CmdList(const Args& a, Json& j) {
  WriteList(j, "windows", TopLevel(Filter::From(a)));
  return Finish(j, true);
}

int CmdWait(const Args& a, Json& j) {
  const Filter f = Filter::From(a);
  const long long want = Number(a, L"--count", 1);
  const bool at_least = a.Has(L"--at-least");
  const DWORD timeout = static_cast<DWORD>(Number(a, L"--timeout", 10000));
  const DWORD start = GetTickCount();
  std::vector<HWND> hs;
  for (;;) {
    hs = TopLevel(f);
    const auto n = static_cast<long long>(hs.size());
    if (at_least ? n >= want : n == want) break;
    if (GetTickCount() - start >= timeout) {
      WriteList(j, "windows", hs);
      return Finish(
          j, false,
          "timed out with " + std::to_string(n) + " of " + std::to_string(want) + " windows");
    }
    Sleep(50);
  }
  j.Field("waited_ms", static_cast<long long>(GetTickCount() - start));
  WriteList(j, "windows", hs);
  return Finish(j, true);
}

int CmdChildren(const Args& a, Json& j) {
  // A control (a group box holding others) is named by its handle alone.
  const Filter only = Filter::From(a);
  const bool control = only.hwnd && only.Empty() == false && !only.cls && !only.title &&
                       !only.title_prefix && !only.exe && !only.pid && IsWindow(*only.hwnd) &&
                       (GetWindowLongW(*only.hwnd, GWL_STYLE) & WS_CHILD);
  HWND h = control ? *only.hwnd : OneWindow(a, j);
  if (!h) return Finish(j, false, "no such window");
  j.Key("window");
  WriteWindow(j, h);
  j.Key("children").Begin('[');
  for (HWND c : Children(h)) WriteChild(j, h, c);
  j.End(']');
  return Finish(j, true);
}

// One run for every matching window: a zdrive start under Wine costs more than a tick of the
// program, so a window at a time cannot keep up with dozens of windows.
int CmdPostAll(const Args& a, Json& j, UINT msg, WPARAM wp, LPARAM lp) {
  const Filter f = Filter::From(a);
  if (f.Empty()) throw UsageError{"no window named: give --class, --title, --hwnd, ..."};
  const auto hs = TopLevel(f);
  j.Field("matched", static_cast<long long>(hs.size()));
  long long posted = 0;
  std::string error;
  j.Key("hwnds").Begin('[');
  for (HWND top : hs) {
    HWND target = ChildTarget(a, top);
    // A window may go between the listing and the post; the others still get theirs.
    if (target && PostMessageW(target, msg, wp, lp)) {
      j.Val(Handle(target));
      ++posted;
    } else if (error.empty()) {
      error = target ? "PostMessage failed: " + std::to_string(GetLastError()) : "no such control";
    }
  }
  j.End(']');
  j.Field("posted", posted);
  if (hs.empty()) return Finish(j, false, "no such window");
  if (posted == 0) return Finish(j, false, error);
  return Finish(j, true);
}

int CmdPostOrSend(const Args& a, Json& j, bool send) {
  if (!a.Has(L"--msg")) throw UsageError{"--msg is required"};
  if (send && a.Has(L"--all")) throw UsageError{"--all needs post: sends would wait in turn"};
  if (!send && a.Has(L"--text")) throw UsageError{"--text needs send: a posted pointer is lost"};
  const UINT msg = static_cast<UINT>(Number(a, L"--msg", 0));
  const auto wp = static_cast<WPARAM>(Number(a, L"--wparam", 0));
  const auto text = a.Get(L"--text");
  const auto lp = text ? reinterpret_cast<LPARAM>(text->c_str())
                       : static_cast<LPARAM>(Number(a, L"--lparam", 0));
  if (a.Has(L"--all")) return CmdPostAll(a, j, msg, wp, lp);
  HWND top = OneWindow(a, j);
  if (!top) return Finish(j, false, "no such window");
  HWND target = ChildTarget(a, top);
  if (!target) return Finish(j, false, "no such control");
  j.Field("hwnd", Handle(target));
  if (!send) {
    if (!PostMessageW(target, msg, wp, lp))
      return Finish(j, false, "PostMessage failed: " + std::to_string(GetLastError()));
    return Finish(j, true);
  }
  DWORD_PTR result = 0;
  const auto timeout = static_cast<UINT>(Number(a, L"--timeout", 5000));
  if (!SendMessageTimeoutW(target, msg, wp, lp, SMTO_ABORTIFHUNG, timeout, &result))
    return Finish(j, false, "SendMessage failed or timed out: " + std::to_string(GetLastError()));
  j.Field("result", static_cast<long long>(static_cast<LONG_PTR>(result)));
  return Finish(j, true);
}

std::wstring WithoutMnemonic(const std::wstring& s) {
  std::wstring out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'&' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  return out;
}

bool IsIconStatic(HWND h) {
  const LONG type = GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK;
  return type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE;
}

// What the user can read on a dialog: the texts of its visible labels and buttons.
void WriteDialog(Json& j, HWND h) {
  j.Begin('{');
  j.Field("hwnd", Handle(h)).Field("caption", TitleOf(h));
  const DWORD pid = PidOf(h);
  j.Field("pid", pid).Field("exe", ExeOf(pid)).Field("visible", IsWindowVisible(h) != FALSE);
  j.Field("owner", Handle(GetWindow(h, GW_OWNER)));
  j.Key("texts").Begin('[');
  for (HWND c : Children(h))
    if (EqualNoCase(ClassOf(c), L"Static") && IsWindowVisible(c) && !IsIconStatic(c)) {
      const std::wstring t = ControlText(c);
      if (!t.empty()) j.Val(t);
    }
  j.End(']');
  j.Key("buttons").Begin('[');
  for (HWND c : Children(h))
    if (EqualNoCase(ClassOf(c), L"Button") && IsWindowVisible(c))
      j.Begin('{')
          .Field("text", WithoutMnemonic(ControlText(c)))
          .Field("id", GetDlgCtrlID(c))
          .End('}');
  j.End(']');
  j.End('}');
}

Filter DialogFilter(const Args& a) {
  Filter f = Filter::From(a);
  if (!f.cls) f.cls = L"#32770";
  return f;
}

std::vector<HWND> WaitForAny(const Filter& f, DWORD timeout) {
  const DWORD start = GetTickCount();
  for (;;) {
    auto hs = TopLevel(f);
    if (!hs.empty() || GetTickCount() - start >= timeout) return hs;
    Sleep(50);
  }
}

int CmdMsgboxes(const Args& a, Json& j) {
  Filter f = DialogFilter(a);
  if (!f.visible) f.visible = true;
  const auto hs = WaitForAny(f, static_cast<DWORD>(Number(a, L"--timeout", 0)));
  j.Key("dialogs").Begin('[');
  for (HWND h : hs) WriteDialog(j, h);
  j.End(']');
  if (a.Has(L"--timeout") && hs.empty()) return Finish(j, false, "no dialog appeared");
  return Finish(j, true);
}

int CmdPress(const Args& a, Json& j) {
  const auto label = a.Get(L"--button");
  if (!label && !a.Has(L"--id")) throw UsageError{"--button TEXT or --id N is required"};
  const std::wstring via = a.Get(L"--via").value_or(L"click");
  if (via != L"click" && via != L"command") throw UsageError{"--via is click or command"};
  Filter f = DialogFilter(a);
  if (!f.visible) f.visible = true;
  const auto hs = WaitForAny(f, static_cast<DWORD>(Number(a, L"--timeout", 0)));
  j.Field("matched", static_cast<long long>(hs.size()));
  for (HWND dlg : hs) {
    for (HWND c : Children(dlg)) {
      if (!EqualNoCase(ClassOf(c), L"Button") || !IsWindowVisible(c)) continue;
      if (label && !EqualNoCase(WithoutMnemonic(ControlText(c)), WithoutMnemonic(*label))) continue;
      const int id = GetDlgCtrlID(c);
      if (!label && id != Number(a, L"--id", 0)) continue;
      j.Key("dialog");
      WriteDialog(j, dlg);
      j.Field("button", id);
      // Posted, never sent: a button that opens another modal window would block a send.
      const BOOL posted = via == L"click"
                              ? PostMessageW(c, BM_CLICK, 0, 0)
                              : PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                             reinterpret_cast<LPARAM>(c));
      if (!posted) return Finish(j, false, "PostMessage failed: " + std::to_string(GetLastError()));
      return Finish(j, true);
    }
  }
  return Finish(j, false, hs.empty() ? "no such dialog" : "no such button");
}

int CmdMetrics(Json& j) {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  POINT cursor{};
  GetCursorPos(&cursor);
  j.Rect("work_area", work);
  j.Key("screen").Begin('{');
  j.Field("width", GetSystemMetrics(SM_CXSCREEN)).Field("height", GetSystemMetrics(SM_CYSCREEN));
  j.End('}');
  j.Key("virtual_screen").Begin('{');
  j.Field("left", GetSystemMetrics(SM_XVIRTUALSCREEN))
      .Field("top", GetSystemMetrics(SM_YVIRTUALSCREEN))
      .Field("width", GetSystemMetrics(SM_CXVIRTUALSCREEN))
      .Field("height", GetSystemMetrics(SM_CYVIRTUALSCREEN));
  j.End('}');
  j.Key("cursor").Begin('{').Field("x", cursor.x).Field("y", cursor.y).End('}');
  return Finish(j, true);
}

// Counts another process holds, for leak checks from outside it. Wine may not keep the GUI
// counts: a zero is then reported with the error it set, so a stub cannot pass for "none".
int CmdProcinfo(const Args& a, Json& j) {
  if (!a.Has(L"--pid")) throw UsageError{"--pid is required"};
  const auto pid = static_cast<DWORD>(Number(a, L"--pid", 0));
  j.Field("pid", pid);
  HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!p) p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return Finish(j, false, "OpenProcess failed: " + std::to_string(GetLastError()));
  j.Field("exe", ExeOf(pid));
  const auto gui = [&](const char* key, DWORD flag) {
    SetLastError(0);
    const DWORD n = GetGuiResources(p, flag);
    const DWORD error = GetLastError();
    j.Field(key, static_cast<long long>(n));
    if (n == 0) j.Field((std::string(key) + "_error").c_str(), static_cast<long long>(error));
  };
  gui("gdi_objects", GR_GDIOBJECTS);
  gui("user_objects", GR_USEROBJECTS);
  PROCESS_MEMORY_COUNTERS_EX mem{};
  mem.cb = sizeof mem;
  const BOOL got =
      GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem);
  const DWORD error = GetLastError();
  CloseHandle(p);
  if (!got) return Finish(j, false, "GetProcessMemoryInfo failed: " + std::to_string(error));
  // Both: Windows reports the commit charge in each, Wine only in PagefileUsage.
  j.Field("private_bytes", static_cast<long long>(mem.PrivateUsage));
  j.Field("working_set", static_cast<long long>(mem.WorkingSetSize));
  j.Field("peak_working_set", static_cast<long long>(mem.PeakWorkingSetSize));
  j.Field("pagefile_usage", static_cast<long long>(mem.PagefileUsage));
  return Finish(j, true);
}

// A full-screen checkerboard of 16-pixel cells in two colours, below every other window, so
// that a screenshot shows what a translucent window blends with. Runs until it is killed.
constexpr COLORREF kBackdrop[2] = {RGB(232, 192, 64), RGB(32, 80, 176)};
constexpr int kBackdropCell = 16;

LRESULT CALLBACK BackdropProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT) return DefWindowProcW(hwnd, message, wParam, lParam);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  HBRUSH brushes[2] = {CreateSolidBrush(kBackdrop[0]), CreateSolidBrush(kBackdrop[1])};
  for (int y = ps.rcPaint.top / kBackdropCell * kBackdropCell; y < ps.rcPaint.bottom;
       y += kBackdropCell) {
    for (int x = ps.rcPaint.left / kBackdropCell * kBackdropCell; x < ps.rcPaint.right;
         x += kBackdropCell) {
      RECT cell{x, y, x + kBackdropCell, y + kBackdropCell};
      FillRect(dc, &cell, brushes[((x + y) / kBackdropCell) % 2]);
    }
  }
  DeleteObject(brushes[0]);
  DeleteObject(brushes[1]);
  EndPaint(hwnd, &ps);
  return 0;
}

int CmdBackdrop(Json& j) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = BackdropProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZdriveBackdrop";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(WS_EX_NOACTIVATE, wc.lpszClassName, L"zdrive backdrop", WS_POPUP, 0,
                              0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                              nullptr, nullptr, wc.hInstance, nullptr);
  if (!hwnd) return Finish(j, false, "cannot create the backdrop");
  SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return Finish(j, true);
}

int Run(const Args& a, Json& j) {
  j.Field("command", a.command);
  if (a.command == L"list") return CmdList(a, j);
  if (a.command == L"wait") return CmdWait(a, j);
  if (a.command == L"children") return CmdChildren(a, j);
  if (a.command == L"post") return CmdPostOrSend(a, j, false);
  if (a.command == L"send") return CmdPostOrSend(a, j, true);
  if (a.command == L"msgboxes") return CmdMsgboxes(a, j);
  if (a.command == L"press") return CmdPress(a, j);
  if (a.command == L"metrics") return CmdMetrics(j);
  if (a.command == L"procinfo") return CmdProcinfo(a, j);
  if (a.command == L"backdrop") return CmdBackdrop(j);
  throw UsageError{"unknown command " + Utf8(a.command)};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Text mode would turn every newline into CRLF on the Unix side of the pipe.
  _setmode(_fileno(stdout), _O_BINARY);
  Json j;
  j.Begin('{');
  try {
    return Run(Parse(argc, argv), j);
  } catch (const UsageError& e) {
    Json usage;
    usage.Begin('{');
    Finish(usage, false, "usage: " + e.message);
    return kExitUsage;
  }
}
