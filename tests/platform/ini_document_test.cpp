// The editable INI document against a plain model of the write rules: random edits on
// messy files (duplicate sections and keys, NUL bytes, CRLF, no final newline, junk),
// applied as one batch, one by one, and through the public batch, must give the model's
// bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/ini_document.h"
#include "temp_dir.h"

namespace platform::ini {
namespace {

// The rules applied the slow, obvious way: a fresh parse of the whole text per edit.
class Model {
public:
    explicit Model(std::string text) {
        ForEachLine(text, [this](std::string_view raw, std::string_view term) {
            lines_.push_back(Line{std::string(raw), std::string(term)});
            return true;
        });
    }

    void Write(std::string_view section, std::string_view key, std::string_view value) {
        TakeStyle();
        int header = FindSection(section);
        if (header < 0) header = AppendSection(section);
        int end = SectionEnd(header), lastKey = header;
        for (int i = header + 1; i < end; ++i) {
            LineView view = ClassifyLine(lines_[i].raw);
            if (view.kind != LineKind::Key) continue;
            if (EqualsIgnoreCase(view.name, key)) {
                lines_[i].raw = std::string(view.name) + "=" + std::string(value);
                return;
            }
            lastKey = i;
        }
        if (lines_[lastKey].term.empty()) lines_[lastKey].term = Nl();
        lines_.insert(lines_.begin() + lastKey + 1, Line{std::string(key) + "=" + std::string(value), Nl()});
    }

    void DeleteKey(std::string_view section, std::string_view key) {
        TakeStyle();
        int header = FindSection(section);
        if (header < 0) return;
        for (int i = SectionEnd(header) - 1; i > header; --i) {
            LineView view = ClassifyLine(lines_[i].raw);
            if (view.kind == LineKind::Key && EqualsIgnoreCase(view.name, key)) lines_.erase(lines_.begin() + i);
        }
    }

    void DeleteSection(std::string_view section) {
        TakeStyle();
        for (int header = FindSection(section); header >= 0; header = FindSection(section)) {
            lines_.erase(lines_.begin() + header, lines_.begin() + SectionEnd(header));
        }
    }

    std::string Text() const {
        std::string out;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (i > 0 && lines_[i - 1].term.empty()) out += Nl();
            out += lines_[i].raw + lines_[i].term;
        }
        return out;
    }

private:
    struct Line {
        std::string raw, term;
    };
    std::string Nl() const { return crlf_ ? "\r\n" : "\n"; }
    // New lines follow the first line break of the text as it stands.
    void TakeStyle() {
        const std::string text = Text();
        const std::size_t nl = text.find('\n');
        crlf_ = nl != std::string::npos && nl > 0 && text[nl - 1] == '\r';
    }
    int FindSection(std::string_view name) const {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            LineView view = ClassifyLine(lines_[i].raw);
            if (view.kind == LineKind::Section && EqualsIgnoreCase(view.name, name)) return static_cast<int>(i);
        }
        return -1;
    }
    int SectionEnd(int header) const {
        int i = header + 1;
        while (i < static_cast<int>(lines_.size()) && ClassifyLine(lines_[i].raw).kind != LineKind::Section) ++i;
        return i;
    }
    int AppendSection(std::string_view name) {
        if (!lines_.empty()) {
            if (lines_.back().term.empty()) lines_.back().term = Nl();
            if (ClassifyLine(lines_.back().raw).kind != LineKind::Blank) lines_.push_back(Line{"", Nl()});
        }
        lines_.push_back(Line{"[" + std::string(name) + "]", Nl()});
        return static_cast<int>(lines_.size()) - 1;
    }
    std::vector<Line> lines_;
    bool crlf_ = false;
};

const std::vector<std::string> kSections = {"S0", "s1", "S2", "", "Other"};
const std::vector<std::string> kKeys = {"K1", "k2", "K3", "New", "route9"};

std::string MessyFile(std::mt19937& rng) {
    static const std::vector<std::string> pool = {
        "[S0]", "[ s1 ]", "[s0]", "[]", "K1=v", " k2 = x ", "k1=dup", "junk", "; comment", "",
        std::string("K3=a\0b", 6), "[broken", "=noname", "route9 = \"q\"", "[S2] trailing", "  ",
        "ends in CR\r"};
    std::string text;
    const bool crlf = rng() % 3 == 0;
    const int count = static_cast<int>(rng() % 30);
    for (int i = 0; i < count; ++i) {
        text += pool[rng() % pool.size()];
        // Now and then a line in the other style: deleting the lines before it changes the
        // style of the lines written after.
        if (i + 1 < count || rng() % 3 != 0) text += (crlf != (rng() % 8 == 0)) ? "\r\n" : "\n";
    }
    return text;
}

struct Edit {
    int kind;  // 0 write, 1 delete key, 2 delete section
    std::size_t section, key;
    std::string value;
};

std::vector<Edit> RandomEdits(std::mt19937& rng, int count) {
    std::vector<Edit> edits;
    for (int i = 0; i < count; ++i) {
        unsigned roll = rng() % 20;
        int kind = roll == 0 ? 2 : roll < 5 ? 1 : 0;
        // Runs into one section, as batches usually come.
        std::size_t section = (i > 0 && rng() % 4 != 0) ? edits.back().section : rng() % kSections.size();
        edits.push_back(Edit{kind, section, rng() % kKeys.size(), "v" + std::to_string(rng() % 5)});
    }
    return edits;
}

template <typename Target>
void Apply(Target& target, const Edit& e) {
    if (e.kind == 0) target.Write(kSections[e.section], kKeys[e.key], e.value);
    if (e.kind == 1) target.DeleteKey(kSections[e.section], kKeys[e.key]);
    if (e.kind == 2) target.DeleteSection(kSections[e.section]);
}

TEST(IniDocument, BatchOfRandomEditsMatchesTheModelOnMessyFiles) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const std::string start = MessyFile(rng);
        const std::vector<Edit> edits = RandomEdits(rng, 1 + static_cast<int>(rng() % 60));
        Model model(start);
        Document doc(start);
        for (const Edit& e : edits) {
            Apply(model, e);
            Apply(doc, e);
        }
        ASSERT_EQ(model.Text(), doc.Text()) << "round " << round;
    }
}

TEST(IniDocument, EditsOneDocumentEachMatchTheModel) {
    std::mt19937 rng(11);
    for (int round = 0; round < 150; ++round) {
        std::string text = MessyFile(rng);
        Model model(text);
        for (const Edit& e : RandomEdits(rng, 25)) {
            Apply(model, e);
            const std::string before = text;
            Document doc(text);
            Apply(doc, e);
            text = doc.Text();
            ASSERT_EQ(model.Text(), text) << "round " << round << ", edit " << e.kind << " ["
                                          << kSections[e.section] << "] " << kKeys[e.key]
                                          << " on " << testing::PrintToString(before);
        }
    }
}

// The same edits through the public batch on a file: names are trimmed at the batch, the
// file is read and written under the lock, and a section deleted and written again in
// one batch comes back as a new section at the end.
TEST(IniDocument, BatchOnAFileMatchesTheModel) {
    test::TempDir dir;
    const std::string path = dir.File("model.ini");
    SetDurableWrites(false);  // scratch files: the rename logic runs, the disk waits not
    std::mt19937 rng(23);
    for (int round = 0; round < 100; ++round) {
        const std::string start = MessyFile(rng);
        ASSERT_TRUE(WriteFileAtomic(path, start));
        Model model(start);
        IniBatch batch(path);
        for (const Edit& e : RandomEdits(rng, 1 + static_cast<int>(rng() % 60))) {
            Apply(model, e);
            const std::string padded = " " + kSections[e.section] + "\t";
            if (e.kind == 0) batch.Write(padded, kKeys[e.key], e.value);
            if (e.kind == 1) batch.DeleteKey(padded, " " + kKeys[e.key]);
            if (e.kind == 2) batch.DeleteSection(padded);
        }
        ASSERT_TRUE(batch.Commit());
        ASSERT_EQ(model.Text(), test::ReadAll(path)) << "round " << round;
    }
    SetDurableWrites(true);
}

TEST(IniDocument, UnchangedValueLeavesTheDocumentUnchanged) {
    Document doc("[A]\nK=1\n");
    doc.Write("a", "k", "1");
    EXPECT_FALSE(doc.Changed());
    doc.Write("A", "K", "2");
    EXPECT_TRUE(doc.Changed());
}

TEST(IniDocument, ManyKeysKeepFileOrderAndFirstCopyWins) {
    std::string start = "[Big]\nDup=first\n";
    for (int i = 0; i < 3000; ++i) start += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    start += "dup=second\n\n[Next]\nX=1\n";
    Document doc(start);
    for (int i = 0; i < 3000; ++i) doc.Write("big", "KEY" + std::to_string(2999 - i), "new");
    for (int i = 0; i < 3000; ++i) doc.Write("Big", "Added" + std::to_string(i), "a");
    doc.Write("BIG", "DUP", "changed");
    std::string expected = "[Big]\nDup=changed\n";
    for (int i = 0; i < 3000; ++i) expected += "Key" + std::to_string(i) + "=new\n";
    expected += "dup=second\n";
    for (int i = 0; i < 3000; ++i) expected += "Added" + std::to_string(i) + "=a\n";
    expected += "\n[Next]\nX=1\n";
    EXPECT_EQ(expected, doc.Text());
    doc.DeleteKey("big", "dup");
    EXPECT_EQ(std::string::npos, doc.Text().find("dup=")) << "every copy of a key is deleted";
}

TEST(IniDocument, CaseInsensitiveHashAgreesWithEquality) {
    const std::vector<std::pair<std::string, std::string>> same = {
        {"", ""}, {"a", "A"}, {"Route1234", "rOUTE1234"}, {"Outbound SMS Routing", "OUTBOUND sms routing"},
        {"x\xc4y", "X\xc4Y"}, {std::string("k\0z", 3), std::string("K\0Z", 3)}};
    for (const auto& [a, b] : same) {
        EXPECT_TRUE(EqualsIgnoreCase(a, b)) << a;
        EXPECT_EQ(CaseInsensitiveHash{}(a), CaseInsensitiveHash{}(b)) << a;
    }
    EXPECT_FALSE(EqualsIgnoreCase("[", "{"));  // differ by 0x20 but are not letters
    EXPECT_FALSE(EqualsIgnoreCase("Route12345678@", "Route12345678`"));
    EXPECT_FALSE(EqualsIgnoreCase("@bcdefghij", "`bcdefghij"));
    EXPECT_NE(CaseInsensitiveHash{}("Route1"), CaseInsensitiveHash{}("Route2"));
}

}  // namespace
}  // namespace platform::ini
