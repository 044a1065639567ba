#include "automation/element_scanner.h"

#include "base/log.h"
#include "base/outside_text.h"
#include "automation/element_naming.h"
#include "automation/role_names.h"
#include "base/text.h"
#include "base/utf8.h"
#include "platform/scan_budget.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace velmor::automation {

namespace {

using platform::ElementRef;
using platform::ElementRole;

constexpr int kNativeDepthLimit = 20;
constexpr int kNativeDepthLimitOnceWebArea = 10;
constexpr int kNativeBreadcrumbDepth = 4;
constexpr int kScrollAreaWebSearchDepth = 5;
constexpr int kWebDepthLimit = 25;
constexpr int kWebBreadcrumbDepth = 3;
constexpr size_t kWebTitleInBreadcrumb = 30;
constexpr size_t kElementCap = 500;
constexpr size_t kBreadcrumbParts = 20;

bool isBreadcrumbContainer(ElementRole role) {
    return role == ElementRole::group || role == ElementRole::splitGroup || role == ElementRole::tabGroup || role == ElementRole::toolbar;
}

// The working state of one scan.
class ScanWalk {
public:
    ScanWalk(const std::string& windowTitle, const std::vector<std::string>& reservedNames)
        : takenNames(reservedNames.begin(), reservedNames.end()) {
        breadcrumb.push_back("Window '" + windowTitle + "'");
    }

    // The windows after the first (dialogs, choosers, popups) have their title as the
    // context that tells a control apart from one of the same name in a window before, and
    // leave the summary to the window the user is in.
    void enterWindow(const std::string& title, bool focused) {
        windowContext = slugOf(title);
        inFocusedWindow = focused;
        namesOfWindowsBefore = takenNames;
    }

    // The native part of the window. Web content is only located here; it is walked after.
    void walkNative(const ElementRef& element, int depth) {
        if (depth >= kNativeDepthLimit || !budget.spend()) return;
        if (webArea && depth >= kNativeDepthLimitOnceWebArea) return;
        ElementRole role = element->role();
        if (role == ElementRole::webArea) {
            webArea = element;
            Log::info("ax", "Found a web area at depth " + std::to_string(depth));
            return;
        }
        std::optional<std::vector<ElementRef>> children;
        if (role == ElementRole::scrollArea && depth > kScrollAreaWebSearchDepth) {
            children = element->children();
            for (const auto& child : *children) {
                if (child->role() == ElementRole::webArea) {
                    webArea = child;
                    Log::info("ax", "Found a web area inside a scroll area at depth " + std::to_string(depth + 1));
                    return;
                }
            }
        }
        std::string title = outside_text::label(element->title().value_or(""));
        addTool(element, role, title, false);
        noteShownText(*element, role, title);
        if (inFocusedWindow && depth < kNativeBreadcrumbDepth && !title.empty() && isBreadcrumbContainer(role))
            breadcrumb.push_back(std::string(roleWords(role)) + " '" + title + "'");
        if (!children) children = element->children();
        for (size_t i = 0; i < children->size();) {
            std::optional<int> row = (*children)[i]->tableRow();
            size_t end = i + 1;
            if (!row) {
                walkNative((*children)[i], depth + 1);
            } else {
                while (end < children->size() && (*children)[end]->tableRow() == row) ++end;
                walkRow({children->begin() + i, children->begin() + end}, depth + 1);
            }
            i = end;
        }
    }

    // A row of a table is one tool, named by its first named cell, which selects the row when
    // pressed, and described with the texts of all its cells: a tool per cell would cost the
    // agent a line for every size and date of a long list. Cells that are controls of their
    // own (a check box) keep their tools, named after the row.
    void walkRow(const std::vector<ElementRef>& entries, int depth) {
        std::vector<ElementRef> cells;
        for (const auto& entry : entries) collectCells(entry, depth, cells);
        ElementRef nameCell;
        std::string name;
        std::vector<std::string> texts;
        std::vector<ElementRef> controls;
        for (const auto& cell : cells) {
            ElementRole role = cell->role();
            if (role != ElementRole::cell && role != ElementRole::row && role != ElementRole::staticText) {
                controls.push_back(cell);
                continue;
            }
            std::string title = outside_text::label(cell->title().value_or(""));
            if (title.empty()) continue;
            // A column drawn twice (GTK 3's date and time of a file) reads once.
            if (texts.empty() || texts.back() != title) texts.push_back(title);
            // A row without a press action (Qt's) is still selected by a click on it.
            if (!nameCell && (cell->offersPress() || (role == ElementRole::row && cell->selected())))
                nameCell = cell, name = title;
        }
        if (nameCell) addTool(nameCell, ElementRole::row, name, false, rowToolDescription(name, texts));
        for (const auto& control : controls) {
            std::string title = outside_text::label(control->title().value_or(""));
            addTool(control, control->role(), title.empty() ? name : title, false);
        }
    }

    // The entry and, depth first, the cells inside it (a column that shows an icon and a
    // name is a cell of two cells).
    void collectCells(const ElementRef& entry, int depth, std::vector<ElementRef>& cells) {
        if (depth >= kNativeDepthLimit || !budget.spend()) return;
        cells.push_back(entry);
        ElementRole role = entry->role();
        if (role != ElementRole::cell && role != ElementRole::row) return;
        for (const auto& child : entry->children()) collectCells(child, depth + 1, cells);
    }

    void walkWeb(const ElementRef& element, int depth) {
        if (depth >= kWebDepthLimit || elements.size() >= kElementCap || !budget.spend()) return;
        ElementRole role = element->role();
        std::string title = outside_text::label(element->title().value_or(""));
        addTool(element, role, title, true);
        std::vector<ElementRef> children = element->children();
        noteShownText(*element, role, title);
        // A page's paragraph or block without a name tells its words through its text alone
        // (a result, a message): browsers give the words no objects of their own.
        if (role == ElementRole::group && title.empty() && children.empty()) notePageText(*element);
        if (depth < kWebBreadcrumbDepth && !title.empty())
            breadcrumb.push_back(std::string(roleWords(role)) + " '" + utf8Prefix(title, kWebTitleInBreadcrumb) + "'");
        for (const auto& child : children) walkWeb(child, depth + 1);
    }

    std::string summary() const {
        std::string text;
        for (size_t i = 0; i < breadcrumb.size() && i < kBreadcrumbParts; ++i) text += (i ? " > " : "") + breadcrumb[i];
        return text;
    }

    std::vector<ScannedElement> elements;
    std::vector<std::string> shownTexts;
    std::vector<std::string> breadcrumb;
    ElementRef webArea;
    platform::ScanBudget budget;

private:
    // What the element shows for the user to read: a label's text, a status bar's message
    // (its name, else its text), the contents of a text field the user cannot change (a
    // calculator's result display).
    void noteShownText(platform::AccessibleElement& element, ElementRole role, const std::string& title) {
        if (shownTexts.size() >= kShownTextCap) return;
        std::string text;
        if (role == ElementRole::staticText) text = title;
        else if (role == ElementRole::statusBar) text = title.empty() ? outside_text::label(element.value().value_or("")) : title;
        else if ((role == ElementRole::textField || role == ElementRole::textArea) && !element.editable())
            text = outside_text::label(element.value().value_or(""));
        keepShownText(std::move(text));
    }

    void notePageText(platform::AccessibleElement& element) {
        if (shownTexts.size() < kShownTextCap) keepShownText(outside_text::label(element.shownText().value_or("")));
    }

    void keepShownText(std::string text) {
        // A status bar that tells its message as its name also shows it in a label.
        if (!text.empty() && (shownTexts.empty() || shownTexts.back() != text)) shownTexts.push_back(std::move(text));
    }

    // Attributes are read as the rules need them, which gives the same tools as reading all
    // of them first: most elements of a large window are then answered from what the scan
    // already holds. A table row's tool comes with its description (walkRow has settled that
    // it can be pressed).
    void addTool(const ElementRef& element, ElementRole role, const std::string& title, bool web,
                 std::optional<std::string> rowDescription = std::nullopt) {
        RoleVerb rule = verbForRole(role);
        if (rule.kind == RoleVerb::noTool) return;
        if (rule.kind == RoleVerb::pressable && !rowDescription && !element->offersPress()) return;
        std::string label = labelOf(*element, title);
        // A control of the application that nothing names (an icon button, an entry) is still
        // there to be used; in page content such controls are mostly decoration, and only the
        // editable fields count.
        bool field = role == ElementRole::textField || role == ElementRole::textArea || role == ElementRole::secureTextField;
        if (label.empty() && rule.kind == RoleVerb::verb && (field || !web)) label = roleLabel(role);
        if (label.empty()) return;

        std::string verb(rule.name);
        std::string slug = slugOf(label);
        if (slug.empty()) slug = slugOf(roleLabel(role));
        std::string name = claimName(verb + "_" + slug);
        std::optional<std::string> value = element->value();
        if (value) value = outside_text::description(*value);
        std::string description = rowDescription ? std::move(*rowDescription) : toolDescription(verb, label, value, role);
        elements.push_back({std::move(name), std::move(verb), role, std::move(label), std::move(value),
                            element->enabled(), element, std::move(description), inFocusedWindow});
    }

    // The base name; when a window before this one has it, the base with this window's
    // title; else its next numbered form ("_2", "_3", ...) that no tool has taken: a label
    // "OK 2" beside two "OK" buttons must not repeat a name either.
    std::string claimName(std::string base) {
        if (!windowContext.empty() && namesOfWindowsBefore.contains(base)) base += "_" + windowContext;
        std::string name = base;
        if (takenNames.contains(name)) {
            int& next = nextSuffix[base];
            next = std::max(next, 2);
            do name = base + "_" + std::to_string(next++);
            while (takenNames.contains(name));
        }
        takenNames.insert(name);
        return name;
    }

    static std::string labelOf(platform::AccessibleElement& element, const std::string& title) {
        if (!title.empty()) return title;
        for (auto candidate : {&platform::AccessibleElement::description, &platform::AccessibleElement::placeholder,
                               &platform::AccessibleElement::identifier}) {
            if (std::string label = outside_text::label((element.*candidate)().value_or("")); !label.empty())
                return label;
        }
        return "";
    }

    std::unordered_set<std::string> takenNames;
    std::unordered_map<std::string, int> nextSuffix;
    std::string windowContext;  // empty in the first window
    std::unordered_set<std::string> namesOfWindowsBefore;
    bool inFocusedWindow = true;
};

std::string partialNotice(size_t objectsRead) {
    return "partial: read " + std::to_string(objectsRead) +
           " objects, the window has more; the rest is reached with press_key / scroll / click_at";
}

// Every window the application shows, in its own order (the main window before the
// dialogs it opened), with the one the user is in: the focused window, else the first.
struct Windows {
    std::vector<ElementRef> all;
    ElementRef focused;
};

Windows windowsOf(platform::AccessibleApplication& application) {
    Windows windows{application.windows(), application.focusedWindow()};
    if (!windows.focused) {
        if (windows.all.empty()) return windows;
        windows.focused = windows.all.front();
    }
    if (std::find(windows.all.begin(), windows.all.end(), windows.focused) == windows.all.end())
        windows.all.insert(windows.all.begin(), windows.focused);
    return windows;
}

}  // namespace

ScanResult ElementScanner::scan() const {
    auto application = accessibility_.application(targetPID_);
    Windows windows = application ? windowsOf(*application) : Windows{};
    if (!windows.focused) return {"(no windows)", std::nullopt, {}, "No windows found", true};

    ScanResult result;
    result.windowTitle = outside_text::title(windows.focused->title().value_or("(untitled)"));
    if (auto focused = application->focusedElement()) {
        // Only a missing title falls through to the description; an empty one is used as it is.
        auto title = focused->title();
        std::string label = title ? *title : focused->description().value_or("");
        result.focusedElement = roleName(focused->role()) + ": " + outside_text::label(label);
    }

    ScanWalk walk(result.windowTitle, reservedNames_);
    for (size_t i = 0; i < windows.all.size(); ++i) {
        const ElementRef& window = windows.all[i];
        walk.enterWindow(i == 0 ? "" : outside_text::label(window->title().value_or("")), window == windows.focused);
        walk.walkNative(window, 0);
    }
    if (walk.webArea) {
        walk.breadcrumb.push_back("WebArea");
        walk.walkWeb(walk.webArea, 0);
    }
    result.elements = std::move(walk.elements);
    result.shownTexts = std::move(walk.shownTexts);
    result.hierarchySummary = walk.summary();
    if (walk.budget.exhausted()) result.partial = partialNotice(walk.budget.objects() - 1);
    return result;
}

}  // namespace velmor::automation
