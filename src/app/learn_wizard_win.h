#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/learn_wizard_model.h"
#include "common/ui_language.h"
#include "memory_player/learn_pointer_paths.h"
#include "memory_player/learn_profile.h"
#include "memory_player/learn_scan.h"
#include "platform/process_access.h"
#include "platform/process_handles_win.h"
#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

inline constexpr wchar_t kLearnWizardClassName[] = L"QuorvaneLearnWizard";


// "Learn a player...": a small window that leads the user through the pages of
// learn_wizard_model.h and runs the memory scans between them on a worker thread, so that the
// window answers throughout and Cancel stops a scan at once. The player is opened with read and
// query rights only. The result is saved as a profile file in profileFolder().
class LearnWizard final : public WindowBase<LearnWizard, true> {
 public:
  // Control ids, for the end-to-end tests too.
  static constexpr int kIdInstruction = 101;
  static constexpr int kIdPrograms = 102;
  static constexpr int kIdTimeBox = 103;
  static constexpr int kIdProgress = 104;
  static constexpr int kIdNext = 105;
  static constexpr int kIdCancel = 106;

  // Null when the window cannot be made. Hidden until show().
  static std::unique_ptr<LearnWizard> create(HINSTANCE instance, HWND owner, UiLanguage language);
  ~LearnWizard();

  // Shown in front, on its first page with the programs listed anew.
  void show();

  // The message loop's part: Tab, Enter and Escape in the wizard, as in a dialog. True when the
  // message was the wizard's and has been handled.
  static bool takesDialogMessage(MSG& message);

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  struct Program {
    uint32_t pid = 0;
    std::string exe;  // the file name, as the process list gives it
  };
  // A way to the position and how it is stored, from the path search.
  struct Found {
    learn::PointerPath path;
    learn::Encoding encoding;
  };

  LearnWizard() = default;
  int scaled(int length) const { return MulDiv(length, static_cast<int>(dpi_), 96); }
  void makeControls();
  void listPrograms();
  void showPage(LearnPage page, LearnProblem notice = LearnProblem::None);
  void showEnd(const std::string& text);
  void updateNext();
  void onNext();
  void onTimeBoxChanged();
  void onWorkDone(LearnProblem problem);
  void stopWork();
  void forget();
  int64_t nowMs() const;

  // The worker thread's side: runs `works` in order, posting each one's start and the end.
  void runWork(std::span<const LearnWork> works, WPARAM run);
  LearnProblem doWork(LearnWork work);
  LearnProblem openPlayer(uint32_t pid);
  LearnProblem findPaths();
  LearnProblem prove();
  learn::ScanControl control();
  bool save(const learn::Profile& profile);

  UiLanguage language_ = UiLanguage::English;
  UINT dpi_ = 96;
  FontHandle font_, bigFont_;
  HWND instruction_ = nullptr, programs_ = nullptr, timeBox_ = nullptr, progress_ = nullptr, next_ = nullptr,
       cancel_ = nullptr;
  std::vector<Program> listed_;
  LearnPage page_ = LearnPage::PickPlayer;
  bool settingBox_ = false;
  std::optional<int64_t> typingSince_;  // when the user began typing the shown position

  std::thread worker_;
  std::atomic<bool> working_{false}, cancel_requested_{false};
  // Counts the runs of work: a report from a run that was cancelled is passed over.
  WPARAM run_ = 0;

  // The learning's state: touched by the worker only while it runs, by the window otherwise.
  std::chrono::steady_clock::time_point origin_;
  Program player_;
  uint32_t pointerBytes_ = sizeof(void*);
  std::unique_ptr<ProcessAccess> access_ = makeSystemProcessAccess();
  std::unique_ptr<OpenedProcess> process_;
  UniqueKernelHandle alive_;  // SYNCHRONIZE only: tells when the player exits
  learn::TypedPosition typed_;
  std::vector<learn::Candidate> candidates_;
  std::vector<Found> found_;  // shortest first
  int seeks_ = 0;
  int64_t learningSinceMs_ = 0;
  LearnSummary summary_;
};

}  // namespace quorvane
