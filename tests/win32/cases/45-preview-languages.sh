# Preview page cases for the later languages (sourced by run_wine_tests.sh after 40-preview.sh,
# whose preview_case and probe_is they use): a C++ file, a Python file and a PowerShell file in
# the real dialog, each against bqlite.exe --json, with keywords bold blue and comments italic
# green; the screenshots land in the artefacts' shots folder.

if ! type preview_case >/dev/null 2>&1; then
  fail "preview languages: preview_case comes from 40-preview.sh (BQ_WINE_CASES='4*')"
  return
fi
PL=$FIX/preview-languages
mkdir -p "$PL"
head -c 40000 /usr/include/c++/12/bits/stl_vector.h > "$PL/stl_vector.h"
printf '#include <vector>\r\n// Sum of a vector\r\ntemplate <typename T>\r\nT Sum(const std::vector<T>& v) {\r\n  T total{};\r\n  for (const auto& x : v) total += x;\r\n  return total;\r\n}\r\nconst char* kRaw = R"(a "raw" string)";\r\n' > "$PL/sum.cpp"
head -c 40000 /usr/lib/python3.11/argparse.py > "$PL/argparse.py"
printf '<#\r\n.SYNOPSIS\r\n  Lists big files.\r\n#>\r\nparam([string]$Path = ".")\r\nfunction Get-Big {\r\n  foreach ($f in Get-ChildItem -Path $Path) {\r\n    if ($f.Length -gt 1mb) { Write-Output "big: $($f.Name)" }\r\n  }\r\n}\r\n$text = @"\r\nhere $Path\r\n"@\r\n' > "$PL/big.ps1"

preview_case cpp "$PL/sum.cpp" "template" "// Sum of a vector" "#include <vector>"
probe_is cpp "template" bold=1 color=0000FF "face=Courier New"
probe_is cpp "// Sum of a vector" italic=1 color=008000
probe_is cpp "#include <vector>" color=800080
preview_case cpp-header "$PL/stl_vector.h"
preview_case python "$PL/argparse.py" "import" "# Author: Steven J. Bethard"
probe_is python "import" bold=1 color=0000FF
probe_is python "# Author: Steven J. Bethard" italic=1 color=008000
preview_case powershell "$PL/big.ps1" "function" "\$Path"
probe_is powershell "function" bold=1 color=0000FF
probe_is powershell "\$Path" color=804000
