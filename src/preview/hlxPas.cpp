// ThlxPasRTF: Object Pascal, with the property-declaration, asm and comment ranges.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kPasKeywords(
    {"Absolute", "Abstract", "And", "Array", "As", "Asm", "Assembler", "Automated", "Begin", "Case", "Cdecl",
     "Class", "Const", "Constructor", "Default", "Destructor", "Dispid", "Dispinterface", "Div", "Do", "Downto",
     "Dynamic", "Else", "End", "Except", "Export", "Exports", "External", "Far", "File", "Finalization",
     "Finally", "For", "Forward", "Function", "Goto", "If", "Implementation", "In", "Index", "Inherited",
     "Initialization", "Inline", "Interface", "Is", "Label", "Library", "Message", "Mod", "Near", "Nil",
     "Nodefault", "Not", "Object", "Of", "Or", "Out", "Override", "Packed", "Pascal", "Private", "Procedure",
     "Program", "Property", "Protected", "Public", "Published", "Raise", "Read", "Readonly", "Record",
     "Register", "Repeat", "Resourcestring", "Safecall", "Set", "Shl", "Shr", "Stdcall", "Stored", "String",
     "Stringresource", "Then", "Threadvar", "To", "Try", "Type", "Unit", "Until", "Uses", "Var", "Virtual",
     "While", "With", "Write", "Writeonly", "Xor"},
    192);

TLanguageDef MakePasDef() {
  TLanguageDef d;
  d.Colors = {{0, 0, 255}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 128}, {0, 0, 0}, {0, 0, 0}, {0, 128, 0}};
  d.ColorOf[tkComment] = 1;
  d.ColorOf[tkIdentifier] = 2;
  d.ColorOf[tkKeyword] = 3;
  d.ColorOf[tkNumber] = 4;
  d.ColorOf[tkSpace] = 5;
  d.ColorOf[tkString] = 6;
  d.ColorOf[tkSymbol] = 7;
  d.ColorOf[tkUnknown] = 8;
  d.ColorOf[tkInvalidSymbol] = 8;
  d.ColorOf[tkVariable] = 8;
  d.ColorOf[tkAssembler] = 9;  // beyond the table: the control's default colour
  d.ColorOf[tkNull] = 9;
  d.Styled = true;
  d.Keywords = &kPasKeywords;
  d.LineComments = {"//"};
  d.BlockComments = {{"{", "}"}, {"(*", "*)"}};
  d.Quotes = "'";
  d.DoubledQuote = true;
  d.HashCharCode = true;
  d.DollarHex = true;
  d.Symbols = "()[]^,=+-*/:;<>.@";
  d.TwoCharSymbols = {":=", "<=", "<>", ">=", ".)", "..", "(.", "@@"};
  return d;
}

const TLanguageDef kPasDef = MakePasDef();

class ThlxPasRTF : public ThlxTableSyntax {
public:
  ThlxPasRTF() : ThlxTableSyntax(kPasDef) {}

  void Next() override {
    FAsmStart = false;
    ThlxTableSyntax::Next();
  }

protected:
  enum TRange { rsUnknown, rsAsm, rsProperty };

  uint8_t WordKind(int keyword) override {
    if (keyword < 0) return tkIdentifier;
    const std::string_view w = kPasKeywords.Word(keyword);
    if (w == "Read" || w == "Write" || w == "Stored" || w == "Index" || w == "Readonly" || w == "Writeonly" ||
        w == "Nodefault")
      return FRange == rsProperty ? tkKeyword : tkIdentifier;
    if (w == "Property") FRange = rsProperty;
    else if (w == "End") FRange = rsUnknown;
    else if (w == "Asm") {
      FRange = rsAsm;
      FAsmStart = true;
    }
    return tkKeyword;
  }

  uint8_t ReportedKind() const override {
    if (FRange == rsAsm && !FAsmStart && FTokenKind != tkComment && FTokenKind != tkNull && FTokenKind != tkSpace)
      return tkAssembler;
    return FTokenKind;
  }

  // A comment closes back into the asm block it was opened in, else into no range.
  void OnBlockOpen() override {
    if (FRange != rsAsm) FRange = rsUnknown;
  }

  void OnSymbol(char c) override {
    if (c == ';' && FRange == rsProperty) FRange = rsUnknown;
  }

private:
  int FRange = rsUnknown;
  bool FAsmStart = false;
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreatePasRTF() { return std::make_unique<ThlxPasRTF>(); }

}  // namespace bq
