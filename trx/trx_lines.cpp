// The trace viewer's line assembly.
#include "trx_lines.h"

namespace trx {

LineAssembler::Update LineAssembler::Add(const char* bytes, size_t count) {
  Update update;
  update.replaceLast = open_;
  std::string current = open_ ? openText_ : std::string();
  bool open = open_;
  for (size_t i = 0; i < count && bytes[i] != '\0'; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') {
      update.lines.push_back(current);
      current.clear();
      open = false;
      continue;
    }
    open = true;
    if (c == '\r') continue;
    if (c < 0x20 && c != '\t') {
      current += '^';
      current += static_cast<char>(c + 0x40);
    } else {
      current += static_cast<char>(c);
    }
  }
  if (open) update.lines.push_back(current);
  open_ = open;
  openText_ = open ? current : std::string();
  return update;
}

void LineAssembler::Reset() {
  open_ = false;
  openText_.clear();
}

}  // namespace trx
