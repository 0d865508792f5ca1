// bqlite: the command-line front end. Identifies files and prints the pages the Properties
// dialog would show for them, as text or JSON.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "cli/bqRender.h"
#include "hashes/bqChecksumFiles.h"
#include "hashes/zoxChkHashes.h"
#include "platform/bqFile.h"
#include "platform/bqRegistry.h"
#include "platform/bqText.h"
#include "shell/bqLitePropSheets.h"
#include "pages/bqPages.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using namespace bq;

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted = true; }

// Records a page and draws a progress bar on stderr when stderr is a terminal. Rows that a
// worker page appends (AppendRow) are not recorded but written to stdout as they come, text or
// JSON, so that a page with millions of rows prints them while it runs and holds none of them.
class TCliView : public TPageRecorder {
public:
  TCliView(const TPageInfo* info, bool showProgress, bool json)
      : FInfo(info), FShow(showProgress), FJson(json) {}
  ~TCliView() override { ClearProgress(); }
  void SetProgress(int percent) override {
    TPageRecorder::SetProgress(percent);
    if (!FShow || percent == FLast) return;
    FLast = percent;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", FInfo->Title.c_str(), std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(30 - filled), ' ').c_str(), percent);
    std::fflush(stderr);
    FDrawn = true;
  }
  bool StopRequested() const override { return gInterrupted || TPageRecorder::StopRequested(); }
  void ClearProgress() {
    if (FDrawn) std::fprintf(stderr, "\r%*s\r", static_cast<int>(FInfo->Title.size() + 40), "");
    FDrawn = false;
  }

  void AppendRow(std::initializer_list<std::string_view> cells, int groupId) override {
    if (!FInfo->Worker) {
      TPageRecorder::AppendRow(cells, groupId);
      return;
    }
    if (FDrawn) {
      ClearProgress();
      FLast = -1;  // drawn again at the next step
    }
    std::string out;
    if (FStreamed == 0) {
      // The page's columns and groups come before its rows.
      FHead.Info = FInfo;
      FHead.WithContent = true;
      FHead.Record = Record();
      out = FJson ? RenderPageJsonHead(FHead, kPageIndent) : RenderPageTextHead(FHead);
    }
    if (FJson)
      out += (FStreamed ? ",\n" : "\n") + RenderRowJson(cells, groupId, kPageIndent);
    else
      out += RenderStreamedRowText(FHead.Record, cells, groupId, FLastGroup);
    FLastGroup = groupId;
    ++FStreamed;
    if (!FJson) out = ShowControls(out);
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  // Rows written so far; 0 when the page appended none and is rendered from its record.
  size_t Streamed() const { return FStreamed; }
  // Closes the page whose rows were written as they came.
  void FinishStream() {
    FHead.Record.Problems = Current().Problems;
    const std::string tail = FJson ? RenderPageJsonTail(FHead, kPageIndent, FStreamed) : "\n";
    std::fwrite(tail.data(), 1, tail.size(), stdout);
    std::fflush(stdout);
  }

  static constexpr const char* kPageIndent = "    ";

private:
  const TPageInfo* FInfo;
  bool FShow;
  bool FJson;
  int FLast = -1;
  bool FDrawn = false;
  size_t FStreamed = 0;
  int FLastGroup = -1;
  TRenderedPage FHead;
};

void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The system registry with the tweaks given on the command line laid over it.
class TTweakedRegistry : public TRegistry {
public:
  explicit TTweakedRegistry(const TRegistry& base) : FBase(base) {}
  void SetTweak(std::string_view name, const TRegValue& value) {
    FTweaks.SetValue(TRegRoot::rrLocalMachine, "\\SOFTWARE\\Marrowgate\\Tweaks", name, value);
  }
  std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, std::string_view path, uint32_t access) const override {
    auto over = FTweaks.OpenKey(root, path, access);
    auto under = FBase.OpenKey(root, path, access);
    if (!over) return under;
    if (!under) return over;
    return std::make_unique<TPairKey>(std::move(over), std::move(under));
  }

private:
  struct TPairKey : TRegistryKey {
    TPairKey(std::unique_ptr<TRegistryKey> over, std::unique_ptr<TRegistryKey> under)
        : Over(std::move(over)), Under(std::move(under)) {}
    std::optional<TRegValue> ReadValue(std::string_view name) const override {
      auto v = Over->ReadValue(name);
      return v ? v : Under->ReadValue(name);
    }
    std::vector<std::string> SubKeyNames() const override { return Under->SubKeyNames(); }
    std::unique_ptr<TRegistryKey> Over, Under;
  };
  TMemoryRegistry FTweaks;
  const TRegistry& FBase;
};

TTweakedRegistry& Registry() {
  static TTweakedRegistry registry(SystemRegistry());
  return registry;
}

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// --check: one "NAME: OK" / "NAME: FAILED" line per listed file and the warnings of
// sha256sum -c on stderr; 1 when anything failed.
int CheckSumFiles(const std::vector<std::string>& sumFiles) {
  int status = 0;
  for (const auto& sumFile : sumFiles) {
    TVerifySummary summary;
    std::string error;
    const bool read = VerifySumFile(
        sumFile,
        [](const TVerifyResult& r) {
          // As sha256sum -c: a name is escaped only when it holds a line end.
          bool escaped = r.Name.find_first_of("\n\r") != std::string::npos;
          const std::string name = escaped ? EscapeListedName(r.Name, escaped) : r.Name;
          if (r.Status == TVerifyResult::vrUnreadable)
            std::fprintf(stderr, "bqlite: %s: %s\n", r.Name.c_str(), r.Error.c_str());
          const char* verdict = r.Status == TVerifyResult::vrOK       ? "OK"
                                : r.Status == TVerifyResult::vrFailed ? "FAILED"
                                                                      : "FAILED open or read";
          std::fflush(stderr);
          std::printf("%s%s: %s\n", escaped ? "\\" : "", name.c_str(), verdict);
          std::fflush(stdout);
        },
        summary, error);
    if (!read) {
      std::fprintf(stderr, "bqlite: %s: %s\n", sumFile.c_str(), error.c_str());
      status = 1;
      continue;
    }
    if (summary.Lines == 0) {
      std::fprintf(stderr, "bqlite: %s: no properly formatted checksum lines found\n", sumFile.c_str());
      status = 1;
      continue;
    }
    if (summary.BadLines)
      std::fprintf(stderr, "bqlite: WARNING: %s improperly formatted\n",
                   Plural(summary.BadLines, "line is", "lines are").c_str());
    if (summary.Unreadable)
      std::fprintf(stderr, "bqlite: WARNING: %s could not be read\n",
                   Plural(summary.Unreadable, "listed file", "listed files").c_str());
    if (summary.Failed)
      std::fprintf(stderr, "bqlite: WARNING: %s did NOT match\n",
                   Plural(summary.Failed, "computed checksum", "computed checksums").c_str());
    if (summary.Failed || summary.Unreadable) status = 1;
  }
  return status;
}

// --sums ALGO FILE...: "HEX  NAME" lines, as sha256sum writes them.
int PrintSums(const std::string& algorithm, const std::vector<std::string>& files) {
  const auto kind = DigestKindFromTweakName(algorithm);
  if (!kind) {
    std::fprintf(stderr, "bqlite: unknown digest %s\n", algorithm.c_str());
    return 2;
  }
  int status = 0;
  for (const auto& file : files) {
    TChecksumGenerator generator;
    generator.FileName = file;
    generator.MoreDigests = {*kind};
    if (!generator.Generate()) {
      std::fflush(stdout);
      std::fprintf(stderr, "bqlite: %s: %s\n", file.c_str(), generator.Error().c_str());
      status = 1;
      continue;
    }
    const auto d = generator.Digest(*kind);
    const std::string line = SumLine(HexBytes(d.data(), d.size(), false), file) + "\n";
    Write(line);
  }
  return status;
}

// Takes picture number Wanted from the pages it fills.
class TPictureView : public TPageRecorder {
public:
  explicit TPictureView(int wanted) : FWanted(wanted) {}
  void AddPicture(int number, std::string_view bytes, bool) override {
    if (number != FWanted) return;
    Found = true;
    Bytes.assign(bytes);
  }
  bool Found = false;
  std::string Bytes;

private:
  int FWanted;
};

// --extract-picture N FILE OUT: picture N of the Audio page's "Pictures" rows, as its bytes.
int ExtractPicture(const std::string& number, const std::string& file, const std::string& out,
                   const TExtensionLists& lists) {
  int n = 0;
  for (char c : number) n = c >= '0' && c <= '9' && n < 100000 ? n * 10 + (c - '0') : -1;
  if (number.empty() || n <= 0) {
    std::fprintf(stderr, "bqlite: --extract-picture needs a picture number from 1, not %s\n", number.c_str());
    return 2;
  }
  const TSelectionRef selection = BuildSelection({file}, lists, true);
  if (!selection->Errors[0].empty()) {
    std::fprintf(stderr, "bqlite: %s: %s\n", file.c_str(), selection->Errors[0].c_str());
    return 1;
  }
  TPictureView view(n);
  for (const auto& info : ModulePages().Pages())
    if (info.SettingName == "Audio" && info.Fill) info.Fill(TPageContext{selection, &Registry()}, view);
  if (!view.Found) {
    std::fprintf(stderr, "bqlite: %s: no picture %d\n", file.c_str(), n);
    return 1;
  }
  if (view.Bytes.empty()) {
    std::fprintf(stderr, "bqlite: %s: picture %d was too large to be read\n", file.c_str(), n);
    return 1;
  }
  std::FILE* f = std::fopen(out.c_str(), "wb");
  const bool written = f && std::fwrite(view.Bytes.data(), 1, view.Bytes.size(), f) == view.Bytes.size();
  if ((f && std::fclose(f) != 0) || !written) {
    std::fprintf(stderr, "bqlite: %s: cannot write the picture\n", out.c_str());
    return 1;
  }
  return 0;
}

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
      "  --each              each file on its own, as if one Properties dialog were opened per file\n"
      "  --tweak NAME=VALUE  set a tweak for this run (DisableImportsXPView=1: the Imports tree;\n"
      "                      HashAlgorithms=sha256,md5: the digests of the Hashes page)\n"
      "  --check SUMFILE...  check the files that checksum files list (GNU, BSD or SFV lines)\n"
      "  --sums ALGO FILE... print checksum lines (\"HEX  NAME\") of one digest: crc32, md4, md5,\n"
      "                      sha1, ripemd128, ripemd160, ripemd256, ripemd320, sha256, sha512,\n"
      "                      sha3-256 or blake3\n"
      "  --extract-picture N FILE OUT\n"
      "                      write picture N (from 1, in the order of the Audio page's Pictures\n"
      "                      rows) of FILE to OUT\n"
      "  --help              this text\n",
      to);
}

enum class TMode { mPages, mIdentify, mListPages };

struct TOptions {
  TMode Mode = TMode::mPages;
  bool Json = false;
  bool Each = false;
  std::vector<std::string> PageNames;
  const TPageRegistry* Pages = nullptr;
  std::vector<bool> Enabled;  // the "Tabs" settings, read once per run
  bool Progress = false;      // a progress bar on stderr
};

// Reports one selection: its identification, its tabs or its pages. JSON is written as one
// document as the pages are filled, followed by after instead of its final newline. Returns
// the exit status.
int Report(const std::vector<std::string>& files, const TExtensionLists& lists, const TOptions& options,
           const char* after) {
  const TSelectionRef selection = BuildSelection(files, lists, options.Mode == TMode::mPages);
  int status = 0;
  for (size_t i = 0; i < selection->Count(); ++i) {
    if (!selection->Errors[i].empty()) {
      std::fprintf(stderr, "bqlite: %s: %s\n", selection->SelectedFiles[i].c_str(), selection->Errors[i].c_str());
      status = 1;
    }
  }
  const bool json = options.Json;
  auto closeJson = [&](size_t pageCount) {
    std::string tail = RenderJsonTail(pageCount);
    tail.pop_back();
    Write(tail + after);
  };

  if (options.Mode == TMode::mIdentify) {
    if (json) {
      Write(RenderJsonHead(*selection));
      closeJson(0);
    } else {
      for (size_t i = 0; i < selection->Count(); ++i) {
        std::string line = selection->SelectedFiles[i] + ":";
        for (auto t : selection->SelectedTypes[i].Members()) line += " " + std::string(FileTypeName(t));
        std::puts(ShowControls(line).c_str());
      }
    }
    return status;
  }

  std::vector<const TPageInfo*> chosen = ChoosePages(*selection, *options.Pages, options.Enabled);
  if (!options.PageNames.empty()) {
    std::erase_if(chosen, [&](const TPageInfo* p) {
      for (const auto& n : options.PageNames)
        if (SameTextI(n, p->Title) || SameTextI(n, p->SettingName)) return false;
      return true;
    });
  }

  const bool progress = !json && options.Progress;
  const TPageContext context{selection, &Registry()};
  if (json) Write(RenderJsonHead(*selection));
  size_t written = 0;
  std::set<std::string> reported;
  for (const TPageInfo* info : chosen) {
    TRenderedPage page;
    page.Info = info;
    page.WithContent = options.Mode == TMode::mPages;
    if (json) Write(RenderJsonPageSeparator(written++));
    if (page.WithContent && info->Fill) {
      TCliView view(info, progress && info->Worker, json);
      try {
        info->Fill(context, view);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "bqlite: page %s: %s\n", info->Title.c_str(), e.what());
        status = 1;
      }
      view.ClearProgress();
      // Damage in a file goes to stderr once, whichever pages met it; the file was read, so the
      // status stays.
      for (const auto& p : view.Current().Problems) {
        if (!reported.insert(p.File + '\n' + p.Message).second) continue;
        std::fflush(stdout);
        std::fprintf(stderr, "bqlite: %s: %s\n", p.File.c_str(), p.Message.c_str());
      }
      if (view.Streamed()) {
        view.FinishStream();
        if (gInterrupted) return 130;
        continue;
      }
      page.Record = view.TakeRecord();
    }
    if (json) {
      Write(RenderPageJson(page, TCliView::kPageIndent));
    } else if (options.Mode == TMode::mListPages) {
      std::puts(ShowControls(info->Title).c_str());
    } else {
      std::string text = ShowControls(RenderPageText(page));
      text += '\n';
      Write(text);
    }
    // Each page shows as soon as it is done; --each leaves it to the output's buffering, so
    // that hundreds of files go out in a few large writes.
    if (!options.Each) std::fflush(stdout);
    if (gInterrupted) return 130;
  }
  if (json) closeJson(written);
  return status;
}

int Run(const std::vector<std::string>& args) {
  TOptions options;
  std::vector<std::string> files;
  std::string extensions;
  int importsTree = -1;  // -1: as the registry says
  bool endOfOptions = false;
  bool check = false;
  std::string sums;  // the digest of --sums
  std::vector<std::string> extract;  // --extract-picture N FILE OUT
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
      files.push_back(a);
    } else if (a == "--") {
      endOfOptions = true;
    } else if (a == "--identify") {
      options.Mode = TMode::mIdentify;
    } else if (a == "--list-pages") {
      options.Mode = TMode::mListPages;
    } else if (a == "--json") {
      options.Json = true;
    } else if (a == "--each") {
      options.Each = true;
    } else if (a == "--check") {
      check = true;
    } else if (a == "--extract-picture") {
      if (i + 3 >= args.size()) {
        std::fprintf(stderr, "bqlite: --extract-picture needs N FILE OUT\n");
        return 2;
      }
      extract.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.begin() + static_cast<std::ptrdiff_t>(i) + 4);
      i += 3;
    } else if (a == "--page" || a == "--extensions" || a == "--tweak" || a == "--sums") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "bqlite: %s needs a value\n", a.c_str());
        return 2;
      }
      const std::string& value = args[++i];
      if (a == "--page") {
        options.PageNames.push_back(value);
      } else if (a == "--extensions") {
        extensions = value;
      } else if (a == "--sums") {
        sums = value;
      } else if (SameTextI(value.substr(0, value.find('=')), "HashAlgorithms")) {
        const size_t eq = value.find('=');
        Registry().SetTweak("HashAlgorithms",
                            TRegValue::String(eq == std::string::npos ? "" : value.substr(eq + 1)));
      } else {
        // Tweaks otherwise come from HKLM\SOFTWARE\Marrowgate\Tweaks; one run may set them here.
        const size_t eq = value.find('=');
        const std::string name = value.substr(0, eq);
        const std::string setting = eq == std::string::npos ? "1" : value.substr(eq + 1);
        if (!SameTextI(name, "DisableImportsXPView") || (setting != "0" && setting != "1")) {
          std::fprintf(stderr, "bqlite: unknown tweak %s (known: DisableImportsXPView=0|1, HashAlgorithms=LIST)\n",
                       value.c_str());
          return 2;
        }
        importsTree = setting == "1";
      }
    } else if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "bqlite: unknown option %s\n", a.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (files.empty() && extract.empty()) {
    Usage(stderr);
    return 2;
  }
  if (check) return CheckSumFiles(files);
  if (!sums.empty()) return PrintSums(sums, files);

  if (!extensions.empty() && !FileExists(extensions)) {
    std::fprintf(stderr, "bqlite: %s: extension list file not found\n", extensions.c_str());
    return 2;
  }
  const TPageRegistry tweaked = BuildModulePages(importsTree == 1);
  options.Pages = importsTree < 0 ? &ModulePages() : &tweaked;
  for (const auto& n : options.PageNames) {
    bool known = false;
    for (const auto& p : options.Pages->Pages()) known |= SameTextI(n, p.Title) || SameTextI(n, p.SettingName);
    if (!known) {
      std::fprintf(stderr, "bqlite: no page is named %s\n", n.c_str());
      return 2;
    }
  }
  TZOXConfigManager config(SystemRegistry());
  config.Name = ProductName;
  options.Enabled = ReadTabSettings(*options.Pages, config);
  options.Progress = isatty(fileno(stderr));
  const TExtensionLists lists = LoadExtensionLists(extensions.empty() ? FindExtensionsIni() : extensions);
  if (!extract.empty()) return ExtractPicture(extract[0], extract[1], extract[2], lists);

  if (!options.Each) return Report(files, lists, options, "\n");

  // --each: every file is a selection of its own, as if one dialog were opened per file. Text
  // output heads each file's pages with "==> FILE <=="; JSON is an array of the documents.
  int status = 0;
  if (options.Json) std::fputs("[\n", stdout);
  for (size_t i = 0; i < files.size(); ++i) {
    if (!options.Json && options.Mode != TMode::mIdentify) std::printf("==> %s <==\n", ShowControls(files[i]).c_str());
    const int s = Report({files[i]}, lists, options, i + 1 < files.size() ? ",\n" : "\n");
    if (s == 130) return s;
    status = std::max(status, s);
  }
  if (options.Json) std::fputs("]\n", stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
#ifdef __GLIBC__
  // Freed memory stays for the next file or page instead of going back to the system and
  // coming back at the next allocation (a run over many files otherwise keeps doing both).
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
  // Output to a file or pipe goes in large writes (a terminal keeps its line buffering). The C
  // library would take the size only with a buffer given.
  static char outputBuffer[1 << 16];
  if (!isatty(fileno(stdout))) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
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
