// ThlxJSONRTF: JSON: a string followed by ":" is a key, coloured apart from string values;
// true, false and null; numbers; "//" and "/* */" comments as JSON with comments has them.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kJSONKeywords({"true", "false", "null"}, TKeywordCase::kcExact);

TLanguageDef MakeJSONDef() {
  TLanguageDef d = ModernSchemeDef(&kJSONKeywords);
  d.LineComments = {"//"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"";
  d.BackslashEscape = true;
  d.NumberTakesLetters = true;
  d.Symbols = "{}[],:-+";
  return d;
}

const TLanguageDef kJSONDef = MakeJSONDef();

class ThlxJSONRTF : public ThlxTableSyntax {
public:
  ThlxJSONRTF() : ThlxTableSyntax(kJSONDef) {}

protected:
  bool ScanSpecial(char c) override {
    if (c != '"') return false;
    ScanString('"');
    size_t i = FRun;
    while (At(i) == ' ' || At(i) == '\t' || At(i) == '\r' || At(i) == '\n') ++i;
    if (At(i) == ':') FTokenKind = tkKey;
    return true;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateJSONRTF() { return std::make_unique<ThlxJSONRTF>(); }

}  // namespace bq
