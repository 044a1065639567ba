#pragma once

#include <filesystem>

namespace velmor::tools {

// The folder a narrated demo keeps its audio clips in until they are mixed: made with
// mkdtemp under the temporary folder (in a shared folder a fixed name could be taken over
// by another user, and two demos at once would delete each other's clips), and locked for
// as long as it lives, so that a later start can tell a folder whose demo was killed from
// one a running demo still uses. Removed, with its clips, when it goes.
class ClipFolder {
public:
    // Empty when the folder cannot be made; the clips are then simply not mixed.
    explicit ClipFolder(const std::filesystem::path& temporaryFolder);
    ~ClipFolder();
    ClipFolder(const ClipFolder&) = delete;
    ClipFolder& operator=(const ClipFolder&) = delete;

    bool empty() const { return path_.empty(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int lock_ = -1;
};

// Removes the clip folders under `temporaryFolder` that no live demo holds: their demo was
// killed before it could remove them. A folder without its lock file is left alone for an
// hour, as it may be one a demo has only just made. Returns how many were removed.
int removeAbandonedClipFolders(const std::filesystem::path& temporaryFolder);

}  // namespace velmor::tools
