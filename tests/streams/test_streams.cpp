// Stream listing: the backup-record parser on records built here, the extended attributes of
// real files set with setfattr, and the Streams page.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "common/bqTestFiles.h"
#include "platform/bqStreams.h"
#include "streams/bqViewStreams.h"
#include "streams/quADS.h"
#include "streams/zoxZoneIdentifier.h"

using namespace bq;

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

// One backup record: WIN32_STREAM_ID, the UTF-16LE name, the data.
std::string Record(uint32_t id, uint32_t attributes, const std::string& data, const std::u16string& name = u"") {
  std::string out;
  Put32(out, id);
  Put32(out, attributes);
  Put32(out, static_cast<uint32_t>(data.size()));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(name.size() * 2));
  for (char16_t u : name) out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return out + data;
}

TEST(BackupRecords, ParsedInOrderUntilTheBytesRunOut) {
  const std::string bytes = Record(bsData, 0, "hello") + Record(bsSecurityData, 0, std::string(40, 's')) +
                            Record(bsAlternateData, 8, "one!", u":one:$DATA") + Record(bsAlternateData, 0, "", u":zw\u00f6:$DATA") +
                            Record(12, 0, "x");
  auto records = ParseBackupRecords(TByteView(bytes));
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].Kind, bsData);
  EXPECT_EQ(records[0].Name, "");
  EXPECT_EQ(records[0].Size, 5u);
  EXPECT_EQ(records[1].Kind, bsSecurityData);
  EXPECT_EQ(records[1].Size, 40u);
  EXPECT_EQ(records[2].Name, ":one:$DATA");
  EXPECT_EQ(records[2].Attributes, 8u);
  EXPECT_EQ(records[3].Name, ":zw\xc3\xb6:$DATA");
  EXPECT_EQ(records[3].Size, 0u);
  EXPECT_EQ(records[4].Kind, 12u);

  // A header shorter than 20 bytes ends the listing.
  EXPECT_EQ(ParseBackupRecords(TByteView(bytes + std::string(19, '\x01'))).size(), 5u);
  // So does a name shorter than its size: the record is not listed.
  const std::string cutName = Record(bsAlternateData, 0, "", u":long:$DATA");
  EXPECT_EQ(ParseBackupRecords(TByteView(bytes + cutName.substr(0, cutName.size() - 3))).size(), 5u);
  // Data cut short: the record is listed and is the last.
  const std::string cutData = Record(bsData, 0, "abcdef").substr(0, 22) + Record(bsData, 0, "z");
  records = ParseBackupRecords(TByteView(cutData));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Size, 6u);
  // A size near 2^64 or a huge name size is refused, not followed.
  std::string huge = Record(bsData, 0, "");
  huge[8] = huge[9] = huge[10] = huge[11] = huge[12] = huge[13] = huge[14] = huge[15] = '\xFF';
  EXPECT_EQ(ParseBackupRecords(TByteView(huge + Record(bsData, 0, "q"))).size(), 1u);
  std::string longName = Record(bsAlternateData, 0, "", u"x");
  longName[16] = '\x00', longName[17] = '\x00', longName[18] = '\x01';  // 65536 bytes
  EXPECT_TRUE(ParseBackupRecords(TByteView(longName + std::string(70000, 'a'))).empty());
}

TEST(ExtendedAttributes, NamesAndUnreadableValues) {
  const std::string list("user.one\0user.two\0\0security.x\0user.cut", 38);
  EXPECT_EQ(ParseAttributeNames(TByteView(list)), (std::vector<std::string>{"user.one", "user.two", "security.x"}));
  const auto records = AttributeRecords(7, {"user.one", "user.gone", "user.two"}, [](const std::string& name) {
    return name == "user.gone" ? std::nullopt : std::optional<uint64_t>(name.size());
  });
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].Kind, bsData);
  EXPECT_EQ(records[0].Size, 7u);
  EXPECT_EQ(records[1].Name, "user.one");
  EXPECT_EQ(records[1].Kind, bsEaData);
  EXPECT_EQ(records[2].Name, "user.two");
}

TPageRecord FillFor(const std::string& file) {
  auto selection = std::make_shared<TSelection>();
  selection->SelectedFiles = {file};
  selection->SelectedTypes.resize(1);
  selection->Errors.resize(1);
  TPageRecorder recorder;
  FillStreamsPage({selection, nullptr}, recorder);
  return recorder.Record();
}

using V = std::vector<std::string>;

TEST(StreamsPage, DataThenExtendedAttributes) {
  if (!bqtest::HaveTool("setfattr")) GTEST_SKIP() << "setfattr (attr) missing";
  const std::string file = bqtest::WriteFile("tagged.txt", "twelve bytes");
  if (!bqtest::Shell("setfattr -n user.comment -v 'seventeen bytes!!' tagged.txt && setfattr -n user.x -v 0x0001 tagged.txt"))
    GTEST_SKIP() << "the scratch folder's file system keeps no user attributes";

  const TPageRecord r = FillFor(file);
  EXPECT_TRUE(r.GroupView);
  ASSERT_EQ(r.Columns.size(), 4u);
  EXPECT_EQ(r.Columns[3].Title, "Content");
  EXPECT_EQ(r.Columns[0].Title, "Name");
  EXPECT_EQ(r.Columns[0].Width, 193);
  EXPECT_EQ(r.Columns[1].Align, TAlign::alRight);
  EXPECT_EQ(r.Columns[2].Title, "Attributes");
  EXPECT_EQ(r.Columns[2].Align, TAlign::alCenter);
  ASSERT_EQ(r.Groups.size(), 2u);
  EXPECT_EQ(r.Groups[0].Id, 1);
  EXPECT_EQ(r.Groups[0].Header, "Standard");
  EXPECT_EQ(r.Groups[1].Id, 2);
  EXPECT_EQ(r.Groups[1].Header, "Extended Attribute");
  ASSERT_EQ(r.Rows.size(), 3u);
  EXPECT_EQ(r.Rows[0].Cells(), (V{"", "12", "00000000"}));
  EXPECT_EQ(r.Rows[0].Group(), 1);
  // In the order the file system lists them.
  std::vector<V> attributes = {r.Rows[1].Cells(), r.Rows[2].Cells()};
  std::sort(attributes.begin(), attributes.end());
  // A short text shows in "Content"; the binary value does not.
  EXPECT_EQ(attributes, (std::vector<V>{{"user.comment", "17", "00000000", "seventeen bytes!!"}, {"user.x", "2", "00000000"}}));
  EXPECT_EQ(r.Rows[2].Group(), 2);

  // Only the wanted kinds; a closed listing answers "invalid handle".
  TFindStreamData data;
  ASSERT_TRUE(StreamFindFirst(file, 1u << bsEaData, data));
  EXPECT_EQ(data.Kind, bsEaData);
  ASSERT_TRUE(StreamFindNext(data));
  EXPECT_FALSE(StreamFindNext(data));
  EXPECT_EQ(data.LastError, StreamErrorNoMoreFiles);
  StreamFindClose(data);
  EXPECT_FALSE(StreamFindNext(data));
  EXPECT_EQ(data.LastError, StreamErrorInvalidHandle);
  EXPECT_FALSE(StreamFindFirst(file, 1u << bsSecurityData, data));
  EXPECT_EQ(data.LastError, StreamErrorFileNotFound);
}

TEST(StreamsPage, PlainMissingAndNonRegularFiles) {
  const std::string plain = bqtest::WriteFile("plain.bin", std::string(1000, 'p'));
  TPageRecord r = FillFor(plain);
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].Cells(), (V{"", "1000", "00000000"}));
  ASSERT_EQ(r.Groups.size(), 1u);

  r = FillFor((bqtest::ScratchDir() / "missing").string());
  EXPECT_TRUE(r.Rows.empty());
  EXPECT_EQ(r.Columns.size(), 4u);

  // A FIFO is neither opened (which would block) nor listed; nor is a folder or a device.
  const std::string fifo = (bqtest::ScratchDir() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(FillFor(fifo).Rows.empty());
  EXPECT_TRUE(FillFor(bqtest::ScratchDir().string()).Rows.empty());
  EXPECT_TRUE(FillFor("/dev/null").Rows.empty());
  TFindStreamData data;
  EXPECT_FALSE(StreamFindFirst(fifo, 0, data));
  EXPECT_EQ(data.LastError, StreamErrorBadFileType);
}

TEST(ZoneIdentifier, WhatADownloadedFileSays) {
  const std::string windows = "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/page\r\n"
                              "HostUrl=https://dl.example.org/setup.exe\r\n";
  EXPECT_EQ(ParseZoneIdentifier(TByteView(windows)),
            (TZoneRows{{"ZoneId", "3 (Internet)"},
                       {"ReferrerUrl", "https://example.org/page"},
                       {"HostUrl", "https://dl.example.org/setup.exe"}}));
  // UTF-16 with its mark, other sections and keys, case, blanks, a key given twice.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("[Other]\nZoneId=4\n[zonetransfer]\n zoneid = 2 \nLastWriterPackageFamilyName=x\nZoneId=1\n"))
    utf16 += std::string{c, '\0'};
  EXPECT_EQ(ParseZoneIdentifier(TByteView(utf16)), (TZoneRows{{"ZoneId", "2 (Trusted sites)"}}));
  EXPECT_EQ(ZoneIdText("0"), "0 (Local machine)");
  EXPECT_EQ(ZoneIdText("7"), "7");
  // Nothing past 64 KiB is read; nothing that is not the section counts.
  EXPECT_TRUE(ParseZoneIdentifier(TByteView(std::string(MaxZoneStreamBytes, '\n') + windows)).empty());
  EXPECT_TRUE(ParseZoneIdentifier(TByteView(std::string("ZoneId=3\n"))).empty());

  EXPECT_EQ(StreamContentText(TByteView(std::string("two\r\nlines\0", 11))), "two  lines");
  EXPECT_EQ(StreamContentText(TByteView(std::string("\x01\x02"))), "");
  EXPECT_EQ(StreamContentText(TByteView(std::string(MaxContentBytes + 1, 'a'))), "");
  EXPECT_EQ(StreamContentText(TByteView(std::string("caf\xC3\xA9"))), "caf\xC3\xA9");
}

TEST(StreamsPage, DownloadedFromTheAttributesBrowsersWrite) {
  if (!bqtest::HaveTool("setfattr")) GTEST_SKIP() << "setfattr (attr) missing";
  const std::string file = bqtest::WriteFile("download.zip", "PK");
  bqtest::WriteFile("zone.txt", "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://files.example.net/download.zip\r\n");
  if (!bqtest::Shell("setfattr -n user.xdg.origin.url -v https://files.example.net/download.zip download.zip && "
                     "setfattr -n user.xdg.referrer.url -v https://example.net/ download.zip && "
                     "setfattr -n user.Zone.Identifier -v \"$(cat zone.txt)\" download.zip && "
                     "setfattr -n user.note -v 'kept for later' download.zip"))
    GTEST_SKIP() << "the scratch folder's file system keeps no user attributes";
  const TPageRecord r = FillFor(file);
  std::vector<V> downloaded, other;
  int downloadGroup = 0;
  for (const auto& g : r.Groups)
    if (g.Header == "Downloaded From") downloadGroup = g.Id;
  ASSERT_NE(downloadGroup, 0);
  for (const auto& row : r.Rows) (row.Group() == downloadGroup ? downloaded : other).push_back(row.Cells());
  std::sort(downloaded.begin(), downloaded.end());
  EXPECT_EQ(downloaded, (std::vector<V>{{"HostUrl", "", "", "https://files.example.net/download.zip"},
                                        {"HostUrl", "", "", "https://files.example.net/download.zip"},
                                        {"ReferrerUrl", "", "", "https://example.net/"},
                                        {"ZoneId", "", "", "3 (Internet)"}}));
  std::sort(other.begin(), other.end());
  EXPECT_EQ(other, (std::vector<V>{{"", "2", "00000000"}, {"user.note", "14", "00000000", "kept for later"}}));
}

}  // namespace
