// The seam's private-profile calls against the Windows ones: a corpus of awkward files, each
// query's result and buffer compared with answers recorded from GetPrivateProfileString/Int
// (run under Wine). Both builds compare against the same record, so our reader
// (platform/common/) and the Windows calls are held to the same answers.
//
// To record the answers again, run the Windows test program with
// KVP_PROFILE_RECORD=<file> and copy the file to tests/fixtures/profiles/expected.txt.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/platform/profile_corpus.h"
#include "tests/test_files.h"

namespace {

using kvp::test::Answer;
using kvp::test::Corpus;
using kvp::test::CorpusFile;
using kvp::test::Queries;
using kvp::test::Query;

std::string ExpectedPath() {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" / "profiles" /
          "expected.txt")
      .string();
}

std::vector<std::string> Expected() {
  std::ifstream in(ExpectedPath(), std::ios::binary);
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    expected.push_back(line);
  }
  return expected;
}

// One parse per file for the whole corpus: every query is answered from memory.
std::map<std::string, std::unique_ptr<platform::ProfileFile>>& ParsedFiles() {
  static std::map<std::string, std::unique_ptr<platform::ProfileFile>> files;
  return files;
}

const platform::ProfileFile& Parsed(const char* fileName) {
  std::unique_ptr<platform::ProfileFile>& file = ParsedFiles()[fileName];
  if (!file) file = std::make_unique<platform::ProfileFile>(fileName);
  return *file;
}

uint32_t ParsedString(const char* section, const char* key, const char* defaultValue,
                      char* buffer, uint32_t size, const char* fileName) {
  return Parsed(fileName).ReadString(section, key, defaultValue, buffer, size);
}

int32_t ParsedInt(const char* section, const char* key, int32_t defaultValue,
                  const char* fileName) {
  return Parsed(fileName).ReadInt(section, key, defaultValue);
}

TEST(ProfileReader, AFileReadOnceAnswersLikeTheWindowsCalls) {
  kvp::test::TempDir dir;
  for (const CorpusFile& f : Corpus()) dir.Write(f.name, f.text);
  ParsedFiles().clear();
  const kvp::test::ProfileReader once{&ParsedString, &ParsedInt};
  const std::vector<std::string> expected = Expected();
  ASSERT_EQ(expected.size(), Queries().size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Answer(Queries()[i], (dir.Path() / Queries()[i].file).string(), once), expected[i]);
  }
  // A file that is not there answers like one without sections, and keeps answering so.
  const platform::ProfileFile missing((dir.Path() / "absent.ini").string().c_str());
  char value[8] = "x";
  EXPECT_EQ(missing.ReadString("a", "b", "dflt ", value, sizeof value), 4u);
  EXPECT_STREQ(value, "dflt");
  EXPECT_EQ(missing.ReadInt("a", "b", -7), -7);
  ParsedFiles().clear();
}

TEST(ProfileReader, AnswersLikeTheWindowsCalls) {
  kvp::test::TempDir dir;
  for (const CorpusFile& f : Corpus()) dir.Write(f.name, f.text);

  std::vector<std::string> answers;
  const kvp::test::ProfileReader seam{&platform::ReadProfileString, &platform::ReadProfileInt};
  for (const Query& q : Queries()) {
    answers.push_back(Answer(q, (dir.Path() / q.file).string(), seam));
  }

  if (const char* record = std::getenv("KVP_PROFILE_RECORD")) {
    std::ofstream out(record, std::ios::binary);
    for (const std::string& a : answers) out << a << "\n";
    GTEST_SKIP() << "recorded " << answers.size() << " answers to " << record;
  }
  std::ifstream in(ExpectedPath(), std::ios::binary);
  ASSERT_TRUE(in) << "missing " << ExpectedPath();
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    expected.push_back(line);
  }
  ASSERT_EQ(expected.size(), answers.size());
  for (size_t i = 0; i < answers.size(); ++i) EXPECT_EQ(answers[i], expected[i]);
}

}  // namespace
