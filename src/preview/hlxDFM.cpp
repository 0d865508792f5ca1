// ThlxDFMRTF: Delphi form text: brace comments, strings, character codes, numbers and the two
// keywords "end" and "object".
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kDFMKeywords({"end", "object"});

TLanguageDef MakeDFMDef() {
  TLanguageDef d;
  d.Colors = {{0, 0, 255}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 128}, {0, 0, 255}, {0, 0, 0}, {0, 0, 0}};
  d.ColorOf[tkComment] = 1;
  d.ColorOf[tkIdentifier] = 2;
  d.ColorOf[tkKeyword] = 3;
  d.ColorOf[tkNumber] = 4;
  d.ColorOf[tkSpace] = 5;
  d.ColorOf[tkString] = 6;
  d.ColorOf[tkSymbol] = 7;
  d.ColorOf[tkUnknown] = d.ColorOf[tkInvalidSymbol] = d.ColorOf[tkVariable] = d.ColorOf[tkAssembler] = 8;
  d.ColorOf[tkNull] = 8;
  d.Styled = true;
  d.Keywords = &kDFMKeywords;
  d.BlockComments = {{"{", "}"}};
  d.Quotes = "'";
  d.DoubledQuote = true;
  d.HashCharCode = true;
  d.DollarHex = true;
  d.Symbols = "()[]^,=+-*/:;<>.@";
  d.TwoCharSymbols = {":=", "<=", "<>", ">=", ".."};
  return d;
}

const TLanguageDef kDFMDef = MakeDFMDef();

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateDFMRTF() { return std::make_unique<ThlxTableSyntax>(kDFMDef); }

}  // namespace bq
