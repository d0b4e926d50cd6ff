#pragma once

namespace quorvel::cli {

// Windows: while an object of this lives, a console that standard output or
// standard error writes to shows UTF-8, as every text this program writes is;
// the console's own output code page is put back afterwards. Pipes and files
// get the same bytes as on Linux: both streams are binary (no CR before LF).
class Utf8Console {
  public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    unsigned savedCodePage_ = 0;  // 0: nothing to put back
};

}  // namespace quorvel::cli
