// A list view's item data shorter than its reader expects: unpatched the
// read raises (the update still ends), patched the count reads as zero.
// ReadOrZero against a memory stream of every length around the request.
#include <gtest/gtest.h>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/ListViewStreamingFix.h"

namespace {

const wchar_t* const ListViewStreaming = L"VCL.ListViewStreaming";

TEST(DesignerListViewStreaming, UnpatchedShortItemDataRaisesAReadError) {
  DesignerStandIns::Load();
  EXPECT_EQ(DesignerStandIns::ReadListItems(""), "EReadError: Stream read error updating=0");
}

TEST(DesignerListViewStreaming, PatchedShortItemDataReadsAsNoItems) {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(ListViewStreaming), L"applied") << DesignerStandIns::Reasons();
  EXPECT_EQ(DesignerStandIns::ReadListItems(""), "count=0 sum=0 updating=0");
  // Whole data reads as before; the items' own reads still check their data.
  EXPECT_EQ(DesignerStandIns::ReadListItems(std::string("\x01\x09\x00\x00\x00", 5)), "count=1 sum=9 updating=0");
  EXPECT_EQ(DesignerStandIns::ReadListItems(std::string("\x02\x09\x00\x00\x00", 5)),
            "EReadError: Stream read error updating=0");
}

struct TReadCase {
  const char* Data;
  int32_t Count;
  int32_t Read;
  const char* Buffer;  // what the buffer holds afterwards (Count bytes)
};

const TReadCase ReadCases[] = {
    {"abcdef", 4, 4, "abcd"},
    {"abcd", 4, 4, "abcd"},
    {"abc", 4, 3, "\0\0\0\0"},
    {"a", 4, 1, "\0\0\0\0"},
    {"", 4, 0, "\0\0\0\0"},
    {"", 1, 0, "\0"},
    {"x", 1, 1, "x"},
};

TEST(DesignerListViewStreaming, ReadOrZeroGivesAllOrZeros) {
  DesignerStandIns::Load();
  for (const TReadCase& c : ReadCases) {
    SCOPED_TRACE(std::string(c.Data) + "/" + std::to_string(c.Count));
    void* stream = DesignerStandIns::NewMemoryStream(c.Data);
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Quillmend::ReadOrZero(stream, buffer, c.Count), c.Read);
    EXPECT_EQ(std::string(buffer, size_t(c.Count)), std::string(c.Buffer, size_t(c.Count)));
    EXPECT_EQ(buffer[c.Count], '#');  // nothing beyond the request
    DesignerStandIns::FreeObject(stream);
  }
}

} // namespace
