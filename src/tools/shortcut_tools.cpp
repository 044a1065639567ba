#include "tools/shortcut_tools.h"

#include "base/guarded.h"

#include <chrono>
#include <optional>
#include <sys/stat.h>

namespace velmor::tools {

namespace {

using nlohmann::json;

json listingResult(const Result<std::vector<std::string>>& names) {
    if (!names) return errorResult(names.error());
    return {{"shortcuts", *names}, {"count", names->size()}};
}

json runResult(const std::string& name, const Result<std::string>& output) {
    if (!output) return errorResult(output.error());
    return {{"status", "completed"}, {"shortcut", name}, {"output", *output}};
}

json createdResult(const Result<shortcuts::CreatedShortcut>& created) {
    if (!created) return errorResult(created.error());
    json result = {{"status", "created"}, {"name", created->name}, {"path", created->path}, {"actions", created->actions}};
    if (created->importTried && created->imported) {
        result["imported"] = true;
        result["message"] = "Shortcut '" + created->name +
                            "' created and opened for import. The user must accept it in the import dialog on the desktop; "
                            "the agent cannot.";
    } else if (created->importTried) {
        result["imported"] = false;
        result["import_error"] = created->importError;
    }
    return result;
}

// What the folder looked like: a file added, removed or renamed changes it.
struct FolderStamp {
    bool exists = false;
    ino_t inode = 0;
    timespec modified{};
    bool operator==(const FolderStamp& o) const {
        return exists == o.exists && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

FolderStamp stampOf(const std::string& folder) {
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) return {};
    return {true, st.st_ino, st.st_mtim};
}

// A change within the file system's clock tick of the read could share the stamp of the
// listing it came after; such a listing is not kept.
bool settled(const FolderStamp& stamp) {
    if (!stamp.exists) return true;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - stamp.modified.tv_sec >= 2;
}

class CachedShortcuts final : public ShortcutFamily {
public:
    CachedShortcuts(const shortcuts::ShortcutBuilder& builder, std::string folder)
        : builder_(builder), folder_(std::move(folder)) {}

    json listShortcuts() override {
        FolderStamp now = stampOf(folder_);
        auto fresh = cache_.withLocked([&](const Cache& cache) -> std::optional<json> {
            if (cache.listing && now == cache.stamp) return cache.listing;
            return std::nullopt;
        });
        if (fresh) return *fresh;
        auto names = builder_.listShortcuts();
        json listing = listingResult(names);
        cache_.withLocked([&](Cache& cache) {
            if (names && settled(now) && now == stampOf(folder_)) {
                cache.listing = listing;
                cache.stamp = now;
            } else {
                cache.listing.reset();
            }
        });
        return listing;
    }

    json runShortcut(const std::string& name, const std::optional<std::string>& input) override {
        return runResult(name, builder_.runShortcut(name, input));
    }

private:
    const shortcuts::ShortcutBuilder& builder_;
    std::string folder_;
    struct Cache {
        std::optional<json> listing;
        FolderStamp stamp;  // the folder's when the listing was read
    };
    Guarded<Cache> cache_;
};

}  // namespace

std::shared_ptr<ShortcutFamily> shortcutToolFamily(const shortcuts::ShortcutBuilder& builder,
                                                   std::string libraryFolder) {
    return std::make_shared<CachedShortcuts>(builder, std::move(libraryFolder));
}

void installShortcutTools(ToolRouter& router, const shortcuts::ShortcutBuilder& builder) {
    router.registry().handle("list_shortcuts", [&builder](const Arguments&) { return listingResult(builder.listShortcuts()); });
    router.registry().handle("run_shortcut", [&builder](const Arguments& args) {
        auto name = args.string("name");
        if (!name) return errorResult(missingField("name"));
        return runResult(*name, builder.runShortcut(*name, args.string("input")));
    });
    router.registry().handle("create_shortcut", [&builder](const Arguments& args) {
        auto name = args.string("name");
        if (!name) return errorResult(missingField("name"));
        const json* steps = args.array("steps");
        if (!steps) return errorResult("missing 'steps' array");
        return createdResult(builder.buildFromDescription(*name, *steps));
    });
}

}  // namespace velmor::tools
