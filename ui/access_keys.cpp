#include "ui/access_keys.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace ui {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool IsKeyChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Positions in `label` where a mark may go, best first: the first letters of words, then
// every other letter or digit. A literal "&&" is skipped.
std::vector<std::size_t> Candidates(const std::string& label) {
    std::vector<std::size_t> initials, others;
    bool afterKeyChar = false;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size() && label[i + 1] == '&') {
            ++i;
            afterKeyChar = false;
            continue;
        }
        const bool key = IsKeyChar(label[i]);
        if (key) (afterKeyChar ? others : initials).push_back(i);
        afterKeyChar = key;
    }
    initials.insert(initials.end(), others.begin(), others.end());
    return initials;
}

void Collect(std::vector<Control>& controls, std::vector<Control*>& out) {
    for (Control& c : controls) {
        if (TakesAccessKey(c)) out.push_back(&c);
        Collect(c.children, out);
    }
}

void CollectConst(const std::vector<Control>& controls, std::vector<const Control*>& out) {
    for (const Control& c : controls) {
        if (TakesAccessKey(c)) out.push_back(&c);
        CollectConst(c.children, out);
    }
}

}  // namespace

bool TakesAccessKey(const Control& c) {
    if (c.label.empty()) return false;
    switch (c.kind) {
        case Kind::Button:
        case Kind::Check:
        case Kind::Radio:
            return true;
        case Kind::Edit:
        case Kind::Combo:
        case Kind::List:
        case Kind::Report:
            return !(c.flags & Flag::Wide);  // a wide field has no label
        default:
            return false;
    }
}

char AccessKeyOf(const std::string& label) {
    for (std::size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != '&') continue;
        if (label[i + 1] == '&') {
            ++i;
            continue;
        }
        return Lower(label[i + 1]);
    }
    return 0;
}

std::string MarkAccessKey(const std::string& label, char key) {
    if (AccessKeyOf(label) != 0) return label;
    for (std::size_t pos : Candidates(label)) {
        if (Lower(label[pos]) == Lower(key)) return label.substr(0, pos) + "&" + label.substr(pos);
    }
    return label;
}

namespace {

// Assigns keys to the labels still without one as a bipartite matching of labels to free
// letters, so that as many labels as possible get a key.
class KeyMatcher {
public:
    KeyMatcher(std::vector<Control*> open, const std::string& taken) : open_(std::move(open)) {
        options_.resize(open_.size());
        chosen_.assign(open_.size(), -1);
        for (std::size_t i = 0; i < open_.size(); ++i) {
            std::string seen = taken;
            for (std::size_t pos : Candidates(open_[i]->label)) {
                const char key = Lower(open_[i]->label[pos]);
                if (seen.find(key) != std::string::npos) continue;
                seen += key;
                options_[i].push_back({key, pos});
            }
        }
    }
    void Assign() {
        // Each label its best free letter first; only those left without one take a
        // letter away from another label that can do with its next best.
        for (std::size_t i = 0; i < open_.size(); ++i) {
            for (std::size_t k = 0; k < options_[i].size() && chosen_[i] < 0; ++k) {
                if (owner_.count(options_[i][k].first)) continue;
                owner_[options_[i][k].first] = i;
                chosen_[i] = static_cast<int>(k);
            }
        }
        for (std::size_t i = 0; i < open_.size(); ++i) {
            if (chosen_[i] >= 0) continue;
            std::string visited;
            Try(i, visited);
        }
        for (std::size_t i = 0; i < open_.size(); ++i)
            if (chosen_[i] >= 0) open_[i]->label.insert(options_[i][chosen_[i]].second, "&");
    }
    // The labels left without a letter: every letter they have is another label's.
    std::vector<Control*> Unkeyed() const {
        std::vector<Control*> left;
        for (std::size_t i = 0; i < open_.size(); ++i)
            if (chosen_[i] < 0) left.push_back(open_[i]);
        return left;
    }
    bool Owned(char key) const { return owner_.count(key) != 0; }

private:
    bool Try(std::size_t i, std::string& visited) {
        for (std::size_t k = 0; k < options_[i].size(); ++k) {
            const char key = options_[i][k].first;
            if (visited.find(key) != std::string::npos) continue;
            visited += key;
            auto it = owner_.find(key);
            if (it == owner_.end() || Try(it->second, visited)) {
                owner_[key] = i;
                chosen_[i] = static_cast<int>(k);
                return true;
            }
        }
        return false;
    }

    std::vector<Control*> open_;
    std::vector<std::vector<std::pair<char, std::size_t>>> options_;  // key, position
    std::vector<int> chosen_;
    std::map<char, std::size_t> owner_;
};

}  // namespace

Template WithAccessKeys(Template t, std::string_view reserved) {
    std::vector<Control*> controls;
    Collect(t.controls, controls);
    std::string taken(reserved);
    std::vector<Control*> open;
    for (Control* c : controls) {
        if (char key = AccessKeyOf(c->label)) {
            taken += key;
        } else if (TakesAccessKey(*c)) {
            open.push_back(c);
        }
    }
    std::stable_partition(open.begin(), open.end(),
                          [](const Control* c) { return c->id != IDOK && c->id != IDCANCEL; });
    KeyMatcher matcher(std::move(open), taken);
    matcher.Assign();
    // A dialog with more labels than letters to share: the rest get a digit in
    // parentheses, as desktops do for labels written without Latin letters.
    char digit = '1';
    for (Control* c : matcher.Unkeyed()) {
        while (digit <= '9' && (taken.find(digit) != std::string::npos || matcher.Owned(digit)))
            ++digit;
        if (digit > '9') break;
        std::string& label = c->label;
        std::size_t end = label.size();
        if (end >= 3 && label.compare(end - 3, 3, "...") == 0)
            end -= 3;
        else if (end >= 1 && label[end - 1] == ':')
            end -= 1;
        label.insert(end, std::string(" (&") + digit + ")");
        taken += digit++;
    }
    return t;
}

std::vector<std::string> AccessKeyProblems(const Template& t, std::string_view reserved) {
    std::vector<const Control*> controls;
    CollectConst(t.controls, controls);
    std::vector<std::string> problems;
    std::map<char, std::string> owner;
    for (char key : reserved) owner[key] = "the window's own buttons";
    for (const Control* c : controls) {
        const char key = AccessKeyOf(c->label);
        if (key == 0) {
            problems.push_back(c->id + " (\"" + c->label + "\"): no access key");
            continue;
        }
        auto [it, fresh] = owner.emplace(key, c->id);
        if (!fresh)
            problems.push_back(it->second + " and " + c->id + " share alt+" + std::string(1, key));
    }
    return problems;
}

}  // namespace ui
