// Test helper: a corpus of awkward ".ini" files and the questions asked of them, answered by
// a private-profile reader as one text line each, so that readers can be compared.
#pragma once

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace kvp::test {

// The two calls of a reader: the seam's, the common reader's, or the Windows ones.
struct ProfileReader {
  uint32_t (*readString)(const char* section, const char* key, const char* defaultValue,
                         char* buffer, uint32_t size, const char* fileName);
  int32_t (*readInt)(const char* section, const char* key, int32_t defaultValue,
                     const char* fileName);
};

struct CorpusFile {
  const char* name;
  std::string text;
};

inline std::string LongKeys() {
  // A section whose key list needs far more than 32768 bytes.
  std::string text = "[Big]\r\n";
  for (int i = 0; i < 3000; ++i) text += "LongKeyName_" + std::to_string(i) + "_padding=" + std::to_string(i) + "\r\n";
  return text;
}

inline const std::vector<CorpusFile>& Corpus() {
  static const std::vector<CorpusFile> files = {
      {"plain.ini",
       "[Kestrelvue]\nVERSION=Release 2.0\nEnvironment Count=2\nFleetglider=1\n"
       "[Directory 1]\nhall.pan=0 0 0 5\nroom.pan=10 0 0 5\n"},
      {"case.ini", "[kestrelVUE]\nversion=Release 2.0\nENVIRONMENT COUNT=3\n[HOT SPOTS]\nA)x=1\n"},
      {"blanks.ini",
       "  [ Spaced ]  \n  key one   =   value with blanks   \nkey2=\t tabbed\t\n"
       "key3 =\nkey4\n=novalue\nkey5 = a = b\n   \n[Empty]\n[Spaced]\nkey one=second\n"},
      {"comments.ini",
       "; leading comment\n[S]\n;commented=1\nreal=2\n  ; indented comment\n# hash=3\n"
       "after=4 ; not a comment\n"},
      {"dups.ini", "[D]\nk=first\nK=second\nk2=x\n[d]\nk=third\nk3=y\n[Other]\nk=o\n"},
      {"crlf.ini", "[C]\r\nk=v\r\nempty=\r\nspaces=  s  \r\n\r\n[C2]\r\nlast=end"},
      {"nofinal.ini", "[N]\nk=no newline at end"},
      {"quotes.ini", "[Q]\nd=\"double\"\ns='single'\nhalf=\"open\nmixed=\"a'\ninner=a\"b\"c\n"
                     "blank=\"  padded  \"\n"},
      {"long.ini", "[L]\nk=" + std::string(300, 'x') + "\nshort=abc\n"},
      {"ints.ini",
       "[I]\nplain=42\nneg=-7\nlead=  15\nsuffix=12abc\nhex=0x1F\nempty=\nword=abc\n"
       "plus=+9\nbig=4294967297\nfrac=3.9\nminus0=-0\noct=010\nupper=0X1f\nspaced= -5 \n"
       "quoted=\"12\"\n"},
      {"nosection.ini", "orphan=1\n[After]\nk=v\n"},
      {"brackets.ini", "[Open\nk=1\n[Ok]\nk=2\n[Tail] junk\nk=3\n[]\nk=4\n"},
      {"big.ini", LongKeys()},
      {"empty.ini", ""},
  };
  return files;
}

// One question to the reader. Null section/key stand for the list forms.
struct Query {
  const char* file;
  const char* section;
  const char* key;
  const char* def;
  uint32_t size;
  bool integer;
  int32_t intDefault;
};

inline const std::vector<Query>& Queries() {
  static const std::vector<Query> q = {
      {"plain.ini", "Kestrelvue", "VERSION", "", 64, false, 0},
      {"plain.ini", "Kestrelvue", "Environment Count", nullptr, 0, true, 0},
      {"plain.ini", "Directory 1", nullptr, "", 32768, false, 0},
      {"plain.ini", nullptr, nullptr, "", 256, false, 0},
      {"plain.ini", "Directory 1", "room.pan", "0.0", 256, false, 0},
      {"plain.ini", "Missing", "k", "fallback  ", 256, false, 0},
      {"plain.ini", "Kestrelvue", "Missing", "  lead", 256, false, 0},
      {"plain.ini", "Kestrelvue", "Missing", nullptr, 256, false, 0},
      {"case.ini", "Kestrelvue", "VERSION", "", 64, false, 0},
      {"case.ini", "KESTRELVUE", "environment count", nullptr, 0, true, 0},
      {"case.ini", "Hot Spots", nullptr, "", 256, false, 0},
      {"blanks.ini", "Spaced", "key one", "", 256, false, 0},
      {"blanks.ini", "spaced", "key2", "", 256, false, 0},
      {"blanks.ini", "Spaced", "key3", "def", 256, false, 0},
      {"blanks.ini", "Spaced", "key4", "def", 256, false, 0},
      {"blanks.ini", "Spaced", "", "def", 256, false, 0},
      {"blanks.ini", "Spaced", "key5", "", 256, false, 0},
      {"blanks.ini", "Spaced", nullptr, "", 256, false, 0},
      {"blanks.ini", "Empty", nullptr, "", 256, false, 0},
      {"blanks.ini", nullptr, nullptr, "", 256, false, 0},
      {"comments.ini", "S", nullptr, "", 256, false, 0},
      {"comments.ini", "S", "real", "", 256, false, 0},
      {"comments.ini", "S", ";commented", "def", 256, false, 0},
      {"comments.ini", "S", "# hash", "def", 256, false, 0},
      {"comments.ini", "S", "after", "", 256, false, 0},
      {"dups.ini", "D", "k", "", 256, false, 0},
      {"dups.ini", "D", "k3", "def", 256, false, 0},
      {"dups.ini", "D", nullptr, "", 256, false, 0},
      {"dups.ini", nullptr, nullptr, "", 256, false, 0},
      {"crlf.ini", "C", "k", "", 256, false, 0},
      {"crlf.ini", "C", "empty", "def", 256, false, 0},
      {"crlf.ini", "C", "spaces", "", 256, false, 0},
      {"crlf.ini", "C2", "last", "", 256, false, 0},
      {"crlf.ini", "C", nullptr, "", 256, false, 0},
      {"nofinal.ini", "N", "k", "", 256, false, 0},
      {"quotes.ini", "Q", "d", "", 256, false, 0},
      {"quotes.ini", "Q", "s", "", 256, false, 0},
      {"quotes.ini", "Q", "half", "", 256, false, 0},
      {"quotes.ini", "Q", "mixed", "", 256, false, 0},
      {"quotes.ini", "Q", "inner", "", 256, false, 0},
      {"quotes.ini", "Q", "blank", "", 256, false, 0},
      {"long.ini", "L", "k", "", 256, false, 0},
      {"long.ini", "L", "k", "", 10, false, 0},
      {"long.ini", "L", "short", "", 3, false, 0},
      {"long.ini", "L", "short", "", 4, false, 0},
      {"long.ini", "L", "missing", "defaultvalue", 5, false, 0},
      {"long.ini", "L", nullptr, "", 4, false, 0},
      {"long.ini", "L", nullptr, "", 7, false, 0},
      {"long.ini", nullptr, nullptr, "", 2, false, 0},
      {"ints.ini", "I", "plain", nullptr, 0, true, -1},
      {"ints.ini", "I", "neg", nullptr, 0, true, -1},
      {"ints.ini", "I", "lead", nullptr, 0, true, -1},
      {"ints.ini", "I", "suffix", nullptr, 0, true, -1},
      {"ints.ini", "I", "hex", nullptr, 0, true, -1},
      {"ints.ini", "I", "empty", nullptr, 0, true, -1},
      {"ints.ini", "I", "word", nullptr, 0, true, -1},
      {"ints.ini", "I", "plus", nullptr, 0, true, -1},
      {"ints.ini", "I", "big", nullptr, 0, true, -1},
      {"ints.ini", "I", "frac", nullptr, 0, true, -1},
      {"ints.ini", "I", "minus0", nullptr, 0, true, -1},
      {"ints.ini", "I", "missing", nullptr, 0, true, -1000000},
      {"ints.ini", "I", "oct", nullptr, 0, true, -1},
      {"ints.ini", "I", "upper", nullptr, 0, true, -1},
      {"ints.ini", "I", "spaced", nullptr, 0, true, -1},
      {"ints.ini", "I", "quoted", nullptr, 0, true, -1},
      {"plain.ini", "Nope", nullptr, "", 256, false, 0},
      {"missing.ini", nullptr, nullptr, "", 256, false, 0},
      {"missing.ini", "S", nullptr, "", 256, false, 0},
      {"plain.ini", "Directory 1", nullptr, "", 19, false, 0},
      {"plain.ini", "Directory 1", nullptr, "", 20, false, 0},
      {"plain.ini", "Kestrelvue", "VERSION", "", 0, false, 0},
      {"plain.ini", "Kestrelvue", "VERSION", "", 1, false, 0},
      {"quotes.ini", "Q", "missing", "\"quoted default\"", 256, false, 0},
      {"nosection.ini", "After", "k", "", 256, false, 0},
      {"nosection.ini", "", "orphan", "def", 256, false, 0},
      {"nosection.ini", nullptr, nullptr, "", 256, false, 0},
      {"brackets.ini", "Open", "k", "def", 256, false, 0},
      {"brackets.ini", "Ok", "k", "def", 256, false, 0},
      {"brackets.ini", "Tail", "k", "def", 256, false, 0},
      {"brackets.ini", "", "k", "def", 256, false, 0},
      {"brackets.ini", nullptr, nullptr, "", 256, false, 0},
      {"big.ini", "Big", nullptr, "", 32768, false, 0},
      {"big.ini", "Big", "LongKeyName_2999_padding", "", 256, false, 0},
      {"empty.ini", "S", "k", "def", 256, false, 0},
      {"empty.ini", nullptr, nullptr, "", 256, false, 0},
      {"missing.ini", "S", "k", "def", 256, false, 0},
      {"missing.ini", "S", "k", nullptr, 0, true, 77},
  };
  return q;
}

// One line per query to `reader`: the return value and the bytes written, in hex (the buffer
// is filled with 0xEE first, so bytes that the reader leaves alone show as such).
inline std::string Answer(const Query& q, const std::string& path, const ProfileReader& reader) {
  std::ostringstream line;
  line << q.file << " [" << (q.section ? q.section : "(null)") << "] "
       << (q.key ? q.key : "(null)") << " size " << q.size << ": ";
  if (q.integer) {
    line << reader.readInt(q.section, q.key, q.intDefault, path.c_str());
    return line.str();
  }
  std::vector<char> buffer(q.size + 1, char(0xEE));
  const uint32_t n =
      reader.readString(q.section, q.key, q.def, buffer.data(), q.size, path.c_str());
  line << n << " ";
  // Only the bytes up to the reported length plus the terminator(s) matter; past that Windows
  // leaves the buffer unspecified.
  const uint32_t shown = std::min<uint32_t>(q.size, n + 2);
  static const char* const kHex = "0123456789abcdef";
  for (uint32_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(buffer[i]);
    line << kHex[c >> 4] << kHex[c & 15];
  }
  return line.str();
}

}  // namespace kvp::test
