// bqlite: the command-line front end. Identifies files and prints the pages the Properties
// dialog would show for them, as text or JSON.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/bqRender.h"
#include "platform/bqFile.h"
#include "platform/bqRegistry.h"
#include "platform/bqText.h"
#include "shell/bqLitePropSheets.h"
#include "shell/bqPages.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

using namespace bq;

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted = true; }

// Records a page and draws a progress bar on stderr when stderr is a terminal.
class TCliView : public TPageRecorder {
public:
  TCliView(std::string title, bool showProgress) : FTitle(std::move(title)), FShow(showProgress) {}
  ~TCliView() override { ClearProgress(); }
  void SetProgress(int percent) override {
    TPageRecorder::SetProgress(percent);
    if (!FShow || percent == FLast) return;
    FLast = percent;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", FTitle.c_str(), std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(30 - filled), ' ').c_str(), percent);
    std::fflush(stderr);
    FDrawn = true;
  }
  bool StopRequested() const override { return gInterrupted || TPageRecorder::StopRequested(); }
  void ClearProgress() {
    if (FDrawn) std::fprintf(stderr, "\r%*s\r", static_cast<int>(FTitle.size() + 40), "");
    FDrawn = false;
  }

private:
  std::string FTitle;
  bool FShow;
  int FLast = -1;
  bool FDrawn = false;
};

void Usage(std::FILE* to) {
  std::fputs(
      "usage: bqlite [options] FILE...\n"
      "Prints the pages that the Brisquel Lite tabs of the Properties dialog show for the files.\n"
      "\n"
      "  --identify          print each file's identified types\n"
      "  --list-pages        print the tabs the Properties dialog would show, in order\n"
      "  --page NAME         print only this page (a tab title or a setting name; repeatable)\n"
      "  --json              JSON instead of text\n"
      "  --extensions FILE   read the extension lists from FILE instead of Extensions.ini\n"
      "  --help              this text\n",
      to);
}

int Run(const std::vector<std::string>& args) {
  enum class TMode { mPages, mIdentify, mListPages } mode = TMode::mPages;
  bool json = false;
  std::vector<std::string> pageNames, files;
  std::string extensions;
  bool endOfOptions = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
      files.push_back(a);
    } else if (a == "--") {
      endOfOptions = true;
    } else if (a == "--identify") {
      mode = TMode::mIdentify;
    } else if (a == "--list-pages") {
      mode = TMode::mListPages;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--page" || a == "--extensions") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "bqlite: %s needs a value\n", a.c_str());
        return 2;
      }
      (a == "--page" ? pageNames.emplace_back() : extensions) = args[++i];
    } else if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "bqlite: unknown option %s\n", a.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (files.empty()) {
    Usage(stderr);
    return 2;
  }

  if (!extensions.empty() && !FileExists(extensions)) {
    std::fprintf(stderr, "bqlite: %s: extension list file not found\n", extensions.c_str());
    return 2;
  }
  const TExtensionLists lists = LoadExtensionLists(extensions.empty() ? FindExtensionsIni() : extensions);
  const TSelectionRef selection = BuildSelection(files, lists);

  int status = 0;
  for (size_t i = 0; i < selection->Count(); ++i) {
    if (!selection->Errors[i].empty()) {
      std::fprintf(stderr, "bqlite: %s: %s\n", selection->SelectedFiles[i].c_str(), selection->Errors[i].c_str());
      status = 1;
    }
  }

  if (mode == TMode::mIdentify) {
    if (json) {
      std::fputs(RenderJson(*selection, {}).c_str(), stdout);
    } else {
      for (size_t i = 0; i < selection->Count(); ++i) {
        std::string line = selection->SelectedFiles[i] + ":";
        for (auto t : selection->SelectedTypes[i].Members()) line += " " + std::string(FileTypeName(t));
        std::puts(line.c_str());
      }
    }
    return status;
  }

  TZOXConfigManager config(SystemRegistry());
  config.Name = ProductName;
  std::vector<const TPageInfo*> chosen = ChoosePages(*selection, ModulePages(), config);
  if (!pageNames.empty()) {
    for (const auto& n : pageNames) {
      bool known = false;
      for (const auto& p : ModulePages().Pages()) known |= SameTextI(n, p.Title) || SameTextI(n, p.SettingName);
      if (!known) {
        std::fprintf(stderr, "bqlite: no page is named %s\n", n.c_str());
        return 2;
      }
    }
    std::erase_if(chosen, [&](const TPageInfo* p) {
      for (const auto& n : pageNames)
        if (SameTextI(n, p->Title) || SameTextI(n, p->SettingName)) return false;
      return true;
    });
  }

  const bool progress = !json && isatty(fileno(stderr));
  std::vector<TRenderedPage> pages;
  const TPageContext context{selection, &SystemRegistry()};
  for (const TPageInfo* info : chosen) {
    TRenderedPage page;
    page.Info = info;
    page.WithContent = mode == TMode::mPages;
    if (page.WithContent && info->Fill) {
      TCliView view(info->Title, progress && info->Worker);
      try {
        info->Fill(context, view);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "bqlite: page %s: %s\n", info->Title.c_str(), e.what());
        status = 1;
      }
      view.ClearProgress();
      page.Record = view.Record();
    }
    if (json) {
      pages.push_back(std::move(page));
    } else if (mode == TMode::mListPages) {
      std::puts(info->Title.c_str());
    } else {
      std::fputs((RenderPageText(page) + "\n").c_str(), stdout);
      std::fflush(stdout);
    }
    if (gInterrupted) return 130;
  }
  if (json) std::fputs(RenderJson(*selection, pages).c_str(), stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
  std::vector<std::string> args;
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
  int wargc = 0;
  wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
  for (int i = 1; wargv && i < wargc; ++i)
    args.push_back(bq::Utf16ToUtf8(std::u16string(wargv[i], wargv[i] + std::wcslen(wargv[i]))));
  if (wargv) LocalFree(wargv);
  (void)argc;
  (void)argv;
#else
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
#endif
  try {
    return Run(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bqlite: %s\n", e.what());
    return 1;
  }
}
