#include "shell/bqStrings.h"

#include <atomic>

#include "platform/bqText.h"

namespace bq {

namespace {
struct TStringEntry {
  int Id;
  std::string_view Text;
};
constexpr TStringEntry kStrings[] = {
#define BQ_STRING(id, text) {id, text},
#include "shell/bqStrings.inc"
#undef BQ_STRING
};
std::atomic<TResourceLoader> gLoader{nullptr};
}  // namespace

std::string_view ResourceString(int id) {
  for (const auto& e : kStrings)
    if (e.Id == id) return e.Text;
  return {};
}

void SetResourceLoader(TResourceLoader loader) { gLoader.store(loader); }

std::string LoadResourceText(int id) {
  const TResourceLoader loader = gLoader.load();
  std::string text = loader ? loader(id) : std::string(ResourceString(id));
  if (text.size() > 1023) text.resize(1023);
  return TrimControls(text);
}

}  // namespace bq
