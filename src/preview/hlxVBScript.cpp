// ThlxVBScriptRTF: the Visual Basic scheme with the VBScript keywords.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kVBScriptKeywords(
    {"And", "Byref", "Byval", "Call", "Case", "Class", "Const", "Dim", "Do", "Each", "Else", "End", "Eqv",
     "Erase", "Error", "Exit", "Explicit", "For", "Function", "Get", "If", "Imp", "Is", "Let", "Loop", "Mod",
     "Next", "Not", "On", "Option", "Or", "Private", "property", "Public", "Randomize", "ReDim", "Rem", "Select",
     "Set", "Sub", "Then", "Wend", "While", "Xor"});

const TLanguageDef kVBScriptDef = VBSchemeDef(&kVBScriptKeywords);

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateVBScriptRTF() { return std::make_unique<ThlxTableSyntax>(kVBScriptDef); }

}  // namespace bq
