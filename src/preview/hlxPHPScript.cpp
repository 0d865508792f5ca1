// ThlxPHPRTF: PHP: "#" and "//" comments, "/* */" comments across lines, $variables, strings
// in either quote with backslash escapes. Printable characters that are neither symbols nor
// tokens of their own are "invalid symbols".
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kPHPKeywords(
    {"__FILE__", "__LINE__", "and", "array", "break", "case", "cfunction", "class", "const", "continue",
     "default", "die", "do", "double", "echo", "else", "elseif", "empty", "endfor", "endif", "endswitch",
     "endwhile", "eval", "exit", "extends", "false", "float", "for", "function", "global", "highlight_file",
     "highlight_string", "if", "include", "int", "integer", "isset", "list", "new", "object", "old_function",
     "or", "print", "real", "require", "return", "show_source", "static", "string", "switch", "true", "unset",
     "var", "while", "xor"});

TLanguageDef MakePHPDef() {
  TLanguageDef d;
  d.Colors = {{0, 0, 255}, {0, 0, 0}, {255, 0, 0}, {0, 0, 128}, {0, 128, 0}, {0, 0, 0},
              {128, 0, 0}, {0, 0, 0}, {0, 0, 0},   {0, 0, 0},   {0, 0, 0}};
  d.ColorOf[tkComment] = 1;
  d.ColorOf[tkIdentifier] = 2;
  d.ColorOf[tkInvalidSymbol] = 3;
  d.ColorOf[tkKeyword] = 4;
  d.ColorOf[tkNumber] = 5;
  d.ColorOf[tkSpace] = 6;
  d.ColorOf[tkString] = 7;
  d.ColorOf[tkSymbol] = 8;
  d.ColorOf[tkVariable] = 9;
  d.ColorOf[tkUnknown] = d.ColorOf[tkAssembler] = 10;
  d.ColorOf[tkNull] = 11;
  d.Keywords = &kPHPKeywords;
  d.LineComments = {"#", "//"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"'";
  d.BackslashEscape = true;
  d.DollarVariable = true;
  d.NumberTakesLetters = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:@";
  d.TwoCharSymbols = {"==", "!=", "<=", ">=", "&&", "||", "++", "--", "->", "=>", "::", ".=", "+=", "-=", "<?", "?>"};
  d.OtherIsInvalidSymbol = true;
  return d;
}

const TLanguageDef kPHPDef = MakePHPDef();

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreatePHPRTF() { return std::make_unique<ThlxTableSyntax>(kPHPDef); }

}  // namespace bq
