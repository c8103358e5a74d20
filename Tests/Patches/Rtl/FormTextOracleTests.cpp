// The form-text conversion against Free Pascal's: on every form of the
// corpus (the subset where both write the same), the host's converter and
// the pack's replacement write the bytes Free Pascal writes and leave Input
// where it leaves it.
#include <gtest/gtest.h>

#include "FormCorpus.h"
#include "StandInRuntime.h"

namespace {

using namespace RtlTest;

void ExpectOracleResults(const char* who) {
  const std::vector<TCorpusForm> corpus = ReadFormCorpus();
  const std::map<std::string, TOracleForm> oracle = ReadFormOracle();
  ASSERT_GE(corpus.size(), 40u);
  ASSERT_EQ(oracle.size(), corpus.size()) << "the oracle did not convert every form";
  for (const TCorpusForm& form : corpus) {
    SCOPED_TRACE(std::string(who) + " " + form.Name);
    const TOracleForm& expected = oracle.at(form.Name);
    ASSERT_FALSE(expected.Error) << expected.Text;
    const TConversion converted = Convert(form.Text);
    ASSERT_TRUE(converted.Ok) << ToUtf8(converted.Error.ClassName + L": " + converted.Error.Message);
    EXPECT_EQ(Hex(converted.Output), Hex(expected.Binary));
    EXPECT_EQ(converted.InputPosition, expected.Position);
  }
}

TEST(FormTextOracle, HostAndReplacementWriteWhatFreePascalWrites) {
  Load();
  ExpectOracleResults("host");
  InstallPatches();
  ASSERT_EQ(Status(L"RTL.Classes.ObjectTextToBinary"), L"applied");
  ExpectOracleResults("replacement");
}

}  // namespace
