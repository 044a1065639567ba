#pragma once

#include <string>

namespace velmor::test {

// Points HOME and the XDG directories at a fresh temporary folder for the lifetime of the
// object, so a test never reads or writes the real user's files. Restores them afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string savedHome_, savedConfig_, savedData_;
    bool hadConfig_ = false, hadData_ = false;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
// The permission bits of a file or folder; 01000 (no such bits) when there is none.
unsigned fileMode(const std::string& path);

}  // namespace velmor::test
