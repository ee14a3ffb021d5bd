#include "app/learn_wizard_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "memory_player/learn_modules.h"
#include "memory_player/learnt_profiles.h"
#include "memory_player/process_memory.h"
#include "platform/dpi_win.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

// Layout at 96 DPI.
constexpr int kWidth = 560;
constexpr int kHeight = 360;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;

constexpr UINT kWorkStarted = WM_APP + 1;  // wParam: the run, lParam: the LearnWork
constexpr UINT kWorkDone = WM_APP + 2;     // wParam: the run, lParam: the LearnProblem

// How far a value proved in the restarted player may be from running on with the wall clock.
constexpr int64_t kProveSlackMs = 400;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The file name of a process's executable; empty when it cannot be asked.
std::string executableOf(DWORD pid) {
  const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  wchar_t path[MAX_PATH * 2];
  DWORD length = static_cast<DWORD>(std::size(path));
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &length)) return {};
  const std::wstring_view full(path, length);
  const size_t slash = full.find_last_of(L"\\/");
  return utf8FromWide(full.substr(slash == std::wstring_view::npos ? 0 : slash + 1));
}

HICON windowIcon(HWND window) {
  DWORD_PTR icon = 0;
  if (SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL2, 0, SMTO_ABORTIFHUNG, 100, &icon) && icon) {
    return reinterpret_cast<HICON>(icon);
  }
  if (const ULONG_PTR small = GetClassLongPtrW(window, GCLP_HICONSM)) return reinterpret_cast<HICON>(small);
  return reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
}

struct ListedWindow {
  DWORD pid;
  HWND window;
  std::wstring title;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM found) {
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) ||
      (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
    return TRUE;
  }
  wchar_t title[256];
  const int length = GetWindowTextW(window, title, static_cast<int>(std::size(title)));
  if (length <= 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId()) return TRUE;
  auto& list = *reinterpret_cast<std::vector<ListedWindow>*>(found);
  // One row per program: its first window.
  if (std::none_of(list.begin(), list.end(), [pid](const ListedWindow& w) { return w.pid == pid; })) {
    list.push_back({pid, window, std::wstring(title, static_cast<size_t>(length))});
  }
  return TRUE;
}

}  // namespace

std::unique_ptr<LearnWizard> LearnWizard::create(HINSTANCE instance, HWND owner, UiLanguage language) {
  if (!registerClass(instance, kLearnWizardClassName, GetSysColorBrush(COLOR_BTNFACE))) return nullptr;

  std::unique_ptr<LearnWizard> wizard(new LearnWizard);
  wizard->language_ = language;
  const std::wstring title = wideFromUtf8(learnText(LearnText::Title, language));
  if (!CreateWindowExW(WS_EX_TOPMOST | WS_EX_CONTROLPARENT, kLearnWizardClassName, title.c_str(),
                       WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, owner, nullptr, instance, wizard.get())) {
    return nullptr;
  }
  wizard->dpi_ = dpiOfWindow(wizard->hwnd());
  wizard->makeControls();
  return wizard;
}

LearnWizard::~LearnWizard() {
  stopWork();
  destroyWindow();
}

bool LearnWizard::takesDialogMessage(MSG& message) {
  const HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  wchar_t name[64] = L"";
  if (!root || !GetClassNameW(root, name, static_cast<int>(std::size(name)))) return false;
  return std::wstring_view(name) == kLearnWizardClassName && IsDialogMessageW(root, &message);
}

void LearnWizard::makeControls() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW face{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
  face.lfCharSet = DEFAULT_CHARSET;
  face.lfHeight = -scaled(13);
  font_ = FontHandle(CreateFontIndirectW(&face));
  face.lfHeight = -scaled(22);
  bigFont_ = FontHandle(CreateFontIndirectW(&face));
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE));
  const auto child = [&](const wchar_t* cls, DWORD style, DWORD exStyle, int id, int x, int y, int w, int h) {
    const HWND control = CreateWindowExW(exStyle, cls, L"", WS_CHILD | style, scaled(x), scaled(y), scaled(w),
                                         scaled(h), hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                         nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
  };
  const int inner = kWidth - 2 * kMargin;
  instruction_ = child(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, kIdInstruction, kMargin, kMargin, inner, 80);
  programs_ = child(WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SORTASCENDING,
                    WS_EX_CLIENTEDGE, kIdPrograms, kMargin, 100, inner, 190);
  timeBox_ = child(L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kIdTimeBox, kMargin, 104, 160, 36);
  SendMessageW(timeBox_, WM_SETFONT, reinterpret_cast<WPARAM>(bigFont_.get()), FALSE);
  SendMessageW(timeBox_, EM_SETLIMITTEXT, 12, 0);
  progress_ = child(L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, kIdProgress, kMargin, 296, inner, 20);
  const int buttonsY = kHeight - kMargin - kButtonHeight;
  next_ = child(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kIdNext,
                kWidth - kMargin - 2 * kButtonWidth - 8, buttonsY, kButtonWidth, kButtonHeight);
  cancel_ = child(L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kIdCancel, kWidth - kMargin - kButtonWidth,
                  buttonsY, kButtonWidth, kButtonHeight);
  SetWindowTextW(next_, wideFromUtf8(learnText(LearnText::Next, language_)).c_str());

  // The list view is driven with its wide messages: this program is built without UNICODE.
  ListView_SetExtendedListViewStyle(programs_, LVS_EX_FULLROWSELECT);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  const std::wstring programCaption = wideFromUtf8(learnText(LearnText::ProgramColumn, language_));
  const std::wstring titleCaption = wideFromUtf8(learnText(LearnText::TitleColumn, language_));
  column.cx = scaled(170);
  column.pszText = const_cast<wchar_t*>(programCaption.c_str());
  SendMessageW(programs_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  column.cx = scaled(inner - 170 - 24);
  column.pszText = const_cast<wchar_t*>(titleCaption.c_str());
  SendMessageW(programs_, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  const HIMAGELIST icons =
      ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_COLOR32 | ILC_MASK, 8, 8);
  ListView_SetImageList(programs_, icons, LVSIL_SMALL);  // the list view destroys it

  RECT frame{0, 0, scaled(kWidth), scaled(kHeight)};
  AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOPMOST);
  SetWindowPos(hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LearnWizard::show() {
  if (!working_) {
    listPrograms();
    showPage(LearnPage::PickPlayer);
  }
  // In the middle of the owner's monitor's work area.
  RECT owner{}, own{};
  GetWindowRect(GetWindow(hwnd(), GW_OWNER), &owner);
  GetWindowRect(hwnd(), &own);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromRect(&owner, MONITOR_DEFAULTTONEAREST), &info);
  const RECT& work = info.rcWork;
  const int width = own.right - own.left, height = own.bottom - own.top;
  const int x = std::max<int>(work.left, (work.left + work.right - width) / 2);
  const int y = std::max<int>(work.top, (work.top + work.bottom - height) / 2);
  SetWindowPos(hwnd(), HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  SetForegroundWindow(hwnd());
}

void LearnWizard::listPrograms() {
  std::vector<ListedWindow> windows;
  EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&windows));
  ListView_DeleteAllItems(programs_);
  const HIMAGELIST icons = ListView_GetImageList(programs_, LVSIL_SMALL);
  ImageList_RemoveAll(icons);
  listed_.clear();
  for (const ListedWindow& w : windows) {
    const std::string exe = executableOf(w.pid);
    if (exe.empty()) continue;
    const std::wstring name = wideFromUtf8(exe);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(listed_.size());
    item.pszText = const_cast<wchar_t*>(name.c_str());
    item.lParam = static_cast<LPARAM>(listed_.size());
    if (const HICON icon = windowIcon(w.window)) {
      item.mask |= LVIF_IMAGE;
      item.iImage = ImageList_AddIcon(icons, icon);
    }
    const auto at = SendMessageW(programs_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMW title{};
    title.iSubItem = 1;
    title.pszText = const_cast<wchar_t*>(w.title.c_str());
    SendMessageW(programs_, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&title));
    listed_.push_back({w.pid, exe});
  }
}

void LearnWizard::showPage(LearnPage page, LearnProblem notice) {
  page_ = page;
  const bool pick = page == LearnPage::PickPlayer;
  const bool typing = page == LearnPage::FirstPosition || page == LearnPage::Seek;
  ShowWindow(programs_, pick ? SW_SHOW : SW_HIDE);
  ShowWindow(timeBox_, typing ? SW_SHOW : SW_HIDE);
  ShowWindow(next_, SW_SHOW);
  SetWindowTextW(cancel_, wideFromUtf8(learnText(LearnText::Cancel, language_)).c_str());
  SetWindowTextW(instruction_, wideFromUtf8(learnPageText(page, player_.exe, language_)).c_str());
  SetWindowTextW(progress_, notice == LearnProblem::None
                                ? L""
                                : wideFromUtf8(learnProblemText(notice, player_.exe, language_)).c_str());
  if (typing) {
    EnableWindow(timeBox_, TRUE);  // taken away while the work after the last page ran
    settingBox_ = true;
    SetWindowTextW(timeBox_, L"");
    settingBox_ = false;
    typingSince_.reset();
    SetFocus(timeBox_);
  } else if (pick) {
    SetFocus(programs_);
  }
  updateNext();
}

// The last page: what was found, or why nothing was; only Close is left.
void LearnWizard::showEnd(const std::string& text) {
  ShowWindow(programs_, SW_HIDE);
  ShowWindow(timeBox_, SW_HIDE);
  ShowWindow(next_, SW_HIDE);
  SetWindowTextW(instruction_, wideFromUtf8(text).c_str());
  SetWindowTextW(progress_, L"");
  SetWindowTextW(cancel_, wideFromUtf8(learnText(LearnText::Close, language_)).c_str());
  SetFocus(cancel_);
}

void LearnWizard::updateNext() {
  const bool picked = ListView_GetNextItem(programs_, -1, LVNI_SELECTED) >= 0;
  wchar_t box[32] = L"";
  GetWindowTextW(timeBox_, box, static_cast<int>(std::size(box)));
  EnableWindow(next_, learnNextEnabled(page_, picked, utf8FromWide(box), working_));
}

int64_t LearnWizard::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin_).count();
}

// The box is filled as the user types; the moment typing began is when they read the player.
void LearnWizard::onTimeBoxChanged() {
  if (settingBox_) return;
  wchar_t box[32] = L"";
  GetWindowTextW(timeBox_, box, static_cast<int>(std::size(box)));
  const std::string typed = utf8FromWide(box);
  const std::string filled = fillTypedTime(typed);
  if (filled != typed) {
    settingBox_ = true;
    SetWindowTextW(timeBox_, wideFromUtf8(filled).c_str());
    SendMessageW(timeBox_, EM_SETSEL, filled.size(), filled.size());
    settingBox_ = false;
  }
  if (filled.empty()) {
    typingSince_.reset();
  } else if (!typingSince_) {
    typingSince_ = nowMs();
  }
  updateNext();
}

void LearnWizard::onNext() {
  if (working_ || !IsWindowEnabled(next_)) return;
  if (page_ == LearnPage::PickPlayer) {
    const int row = ListView_GetNextItem(programs_, -1, LVNI_SELECTED);
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (row < 0 || !SendMessageW(programs_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return;
    player_ = listed_[static_cast<size_t>(item.lParam)];
    origin_ = std::chrono::steady_clock::now();
    seeks_ = 0;
    const LearnProblem problem = openPlayer(player_.pid);
    if (problem != LearnProblem::None) {
      page_ = LearnPage::Problem;
      return showEnd(learnProblemText(problem, player_.exe, language_));
    }
    return showPage(pageAfter(page_));
  }
  if (page_ == LearnPage::FirstPosition || page_ == LearnPage::Seek) {
    wchar_t box[32] = L"";
    GetWindowTextW(timeBox_, box, static_cast<int>(std::size(box)));
    const auto shown = typedTimeMs(utf8FromWide(box));
    if (!shown) return;
    typed_ = {*shown, typingSince_.value_or(nowMs()), true};
    if (page_ == LearnPage::FirstPosition) learningSinceMs_ = typed_.typedAtMs;
    if (page_ == LearnPage::Seek) ++seeks_;
  }
  if (worker_.joinable()) worker_.join();
  working_ = true;
  cancel_requested_ = false;
  updateNext();
  EnableWindow(timeBox_, FALSE);
  worker_ = std::thread([this, works = workAfter(page_), run = ++run_] { runWork(works, run); });
}

void LearnWizard::onWorkDone(LearnProblem problem) {
  if (worker_.joinable()) worker_.join();
  working_ = false;
  SetWindowTextW(progress_, L"");
  const LearnPage next = pageAfterWork(page_, problem);
  if (next == LearnPage::Problem || next == LearnPage::Summary) {
    page_ = next;
    forget();
    return showEnd(next == LearnPage::Summary ? learnSummaryText(summary_, language_)
                                              : learnProblemText(problem, player_.exe, language_));
  }
  showPage(next, problem);
}

// Lets the player and the candidates' memory go.
void LearnWizard::forget() {
  candidates_ = {};
  found_.clear();
  process_.reset();
  alive_ = {};
}

void LearnWizard::stopWork() {
  cancel_requested_ = true;
  ++run_;
  if (worker_.joinable()) worker_.join();
  working_ = false;
}

LRESULT LearnWizard::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdNext:
        case IDOK:  // Enter
          onNext();
          return 0;
        case kIdCancel:
        case IDCANCEL:  // Escape
          PostMessageW(hwnd(), WM_CLOSE, 0, 0);
          return 0;
        case kIdTimeBox:
          if (HIWORD(wParam) == EN_CHANGE) onTimeBoxChanged();
          return 0;
        default:
          break;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kIdPrograms && header->code == LVN_ITEMCHANGED) updateNext();
      if (header->idFrom == kIdPrograms && header->code == NM_DBLCLK) onNext();
      return 0;
    }
    case kWorkStarted:
      if (wParam == run_) {
        SetWindowTextW(progress_, wideFromUtf8(learnWorkText(static_cast<LearnWork>(lParam), language_)).c_str());
      }
      return 0;
    case kWorkDone:
      if (wParam == run_) onWorkDone(static_cast<LearnProblem>(lParam));
      return 0;
    case WM_CLOSE:
      // Cancel stops the scan at once: the worker asks between chunks of memory.
      stopWork();
      forget();
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
    default:
      break;
  }
  return defaultProc(message, wParam, lParam);
}

// ---- the worker thread ------------------------------------------------------------------------

learn::ScanControl LearnWizard::control() {
  const HANDLE alive = alive_.get();
  return {[this] { return nowMs(); }, [this] { return cancel_requested_.load(); },
          [alive] { return alive && WaitForSingleObject(alive, 0) == WAIT_OBJECT_0; }};
}

void LearnWizard::runWork(std::span<const LearnWork> works, WPARAM run) {
  LearnProblem problem = LearnProblem::None;
  for (const LearnWork work : works) {
    PostMessageW(hwnd(), kWorkStarted, run, static_cast<LPARAM>(work));
    problem = doWork(work);
    if (problem != LearnProblem::None) break;
  }
  PostMessageW(hwnd(), kWorkDone, run, static_cast<LPARAM>(problem));
}

// Opens the picked player, or its restarted process, for the work to read.
LearnProblem LearnWizard::openPlayer(uint32_t pid) {
  const auto pointerBytes = learn::processPointerBytes(pid);
  if (!pointerBytes) return LearnProblem::CannotOpen;
  if (*pointerBytes > sizeof(void*)) return LearnProblem::SixtyFourBit;
  pointerBytes_ = *pointerBytes;
  process_ = access_->open(pid);  // read and query rights only
  alive_ = UniqueKernelHandle(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process_ || !alive_) return LearnProblem::CannotOpen;
  return LearnProblem::None;
}

LearnProblem LearnWizard::doWork(LearnWork work) {
  using learn::Step;
  const learn::ScanControl scan = control();
  const auto step = [&](const Step& s) {
    const learn::StepResult result = learn::narrow(*process_, candidates_, s, scan);
    return judgeWork(work, result.outcome, result.after);
  };
  switch (work) {
    case LearnWork::FirstScan: {
      learn::ScanResult result = learn::firstScan(*process_, typed_, scan);
      candidates_ = std::move(result.candidates);
      return judgeWork(work, result.outcome, candidates_.size());
    }
    case LearnWork::Wait: {
      const int64_t until = nowMs() + kLearnWaitMs;
      while (nowMs() < until) {
        if (scan.cancelled()) return judgeWork(work, learn::ScanOutcome::Cancelled, 0);
        if (scan.playerGone()) return judgeWork(work, learn::ScanOutcome::PlayerGone, 0);
        Sleep(50);
      }
      return LearnProblem::None;
    }
    case LearnWork::Played: return step({.kind = Step::Kind::Played});
    case LearnWork::Reread: return step({.kind = Step::Kind::Reread});
    case LearnWork::Paused: return step({.kind = Step::Kind::Paused});
    case LearnWork::Seeked: return step({.kind = Step::Kind::Seeked, .minChangeMs = 5000, .typed = typed_});
    case LearnWork::FindPaths: return findPaths();
    case LearnWork::Prove: return prove();
  }
  return LearnProblem::None;
}

LearnProblem LearnWizard::findPaths() {
  if (const LearnProblem left = judgeLeft(candidates_.size(), seeks_); left != LearnProblem::None) return left;
  const auto modules = learn::listModules(player_.pid);
  if (!modules || modules->empty()) {
    return judgeWork(LearnWork::FindPaths, learn::ScanOutcome::PlayerGone, 0);
  }
  std::vector<uint64_t> targets;
  for (const learn::Candidate& c : candidates_) targets.push_back(c.address());
  const learn::PathResult result =
      learn::findPointerPaths(*process_, *modules, targets, {.pointerBytes = pointerBytes_, .maxPaths = 3}, control());
  found_.clear();
  size_t reached = 0;
  for (size_t i = 0; i < candidates_.size() && i < result.paths.size(); ++i) {
    reached += result.paths[i].empty() ? 0 : 1;
    for (const learn::PointerPath& path : result.paths[i]) found_.push_back({path, candidates_[i].encoding()});
  }
  std::stable_sort(found_.begin(), found_.end(),
                   [](const Found& a, const Found& b) { return a.path.offsets.size() < b.path.offsets.size(); });
  return judgeWork(LearnWork::FindPaths, result.outcome, reached);
}

// Follows each path in the restarted player (another process than the one learnt), shortest
// first, and keeps the first whose value runs on with the wall clock there; saves it as the
// player's profile.
LearnProblem LearnWizard::prove() {
  const auto entries = access_->listProcesses();
  uint32_t pid = 0;
  for (const ProcessEntry& entry : entries.value_or(std::vector<ProcessEntry>{})) {
    if (entry.pid != player_.pid && sameName(entry.exeName, player_.exe)) pid = entry.pid;
  }
  if (pid == 0) return LearnProblem::NoNewPlayer;
  if (const LearnProblem problem = openPlayer(pid); problem != LearnProblem::None) return problem;
  const auto modules = learn::listModules(pid);
  if (!modules || modules->empty()) return judgeWork(LearnWork::Prove, learn::ScanOutcome::PlayerGone, 0);
  const ProcessMemoryReader reader(*access_, ProcessMemoryReader::Opening::Held);
  const learn::ScanControl scan = control();

  // Each path's value now and a few seconds later.
  const auto readAll = [&] {
    std::vector<std::optional<int64_t>> values;
    for (const Found& f : found_) {
      std::optional<int64_t> value;
      if (const auto at = learn::resolvePath(reader, pid, *modules, f.path, pointerBytes_)) {
        const uint32_t width = learn::encodingWidth(f.encoding.type);
        const std::vector<uint8_t> bytes = reader.readBytes(pid, *at, width);
        if (bytes.size() == width) value = learn::decodePositionMs(f.encoding, bytes);
      }
      values.push_back(value);
    }
    return values;
  };
  const int64_t firstAt = nowMs();
  const auto first = readAll();
  if (const LearnProblem problem = doWork(LearnWork::Wait); problem != LearnProblem::None) return problem;
  const int64_t elapsed = nowMs() - firstAt;
  const auto second = readAll();
  bool stood = false;
  for (size_t i = 0; i < found_.size(); ++i) {
    if (!first[i] || !second[i]) continue;
    stood |= *second[i] == *first[i];
    const int64_t slack = learn::encodingResolutionMs(found_[i].encoding) + kProveSlackMs;
    if (std::abs(*second[i] - *first[i] - elapsed) > slack) continue;
    learn::Profile profile{player_.exe, pointerBytes_, 0, found_[i].path, found_[i].encoding};
    profile.checksum = learn::moduleChecksum(reader.readBytes(pid, modules->front().base, 4096));
    if (!save(profile)) return LearnProblem::CannotSave;
    summary_.profile = profile;
    summary_.tookMs = nowMs() - learningSinceMs_;
    return LearnProblem::None;
  }
  if (scan.playerGone()) return LearnProblem::PlayerGone;
  if (stood) return LearnProblem::NewPlayerStands;
  return judgeWork(LearnWork::Prove, learn::ScanOutcome::Done, 0);
}

bool LearnWizard::save(const learn::Profile& profile) {
  const std::string folder = profileFolder();
  const std::string name = profileFileName(profile.executable);
  if (folder.empty() || name.empty()) return false;
  const std::string path = folder + "\\" + name;
  if (!writeProfileFile(path, learn::formatProfile(profile))) return false;
  summary_.savedTo = path;
  return true;
}

}  // namespace quorvane
