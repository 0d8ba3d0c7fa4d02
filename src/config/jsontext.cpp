#include "config/jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cctype>

namespace lk58::config {
namespace {

struct Container {
    bool object = false;
    std::string path;                 // dotted, "" for the document itself
    std::map<std::string, int> lines; // each key's first line
    std::string key;                  // the member whose value comes next
    bool wantKey = false;
};

// The key as Qt reads it, escapes and all, so that "outp\u0075t" is
// "output" here too.
std::string KeyText(const QByteArray& quoted)
{
    if (!quoted.contains('\\'))
        return QString::fromUtf8(quoted.mid(1, quoted.size() - 2)).toStdString();
    return QJsonDocument::fromJson("[" + quoted + "]").array().at(0).toString().toStdString();
}

class Scanner {
public:
    explicit Scanner(const QByteArray& bytes) : bytes_(bytes) {}

    JsonTextFacts Run()
    {
        while (at_ < bytes_.size()) {
            const char c = bytes_[at_];
            if (c == '\n')
                ++line_;
            if (c == '{' || c == '[')
                Open(c == '{');
            else if ((c == '}' || c == ']') && !stack_.empty())
                stack_.pop_back();
            else if (c == ',' && !stack_.empty())
                stack_.back().wantKey = stack_.back().object;
            else if (c == '"')
                String();
            else if (c == '-' || std::isalnum(static_cast<unsigned char>(c)))
                Word();
            ++at_;
        }
        return std::move(facts_);
    }

private:
    std::string MemberPath(const Container& in, const std::string& key) const
    {
        return in.path.empty() ? key : in.path + "." + key;
    }

    void Open(bool object)
    {
        Container next;
        next.object = object;
        next.wantKey = object;
        if (!stack_.empty())
            next.path = stack_.back().object ? MemberPath(stack_.back(), stack_.back().key) : stack_.back().path;
        stack_.push_back(std::move(next));
    }

    // A string, the quotes included; at_ is left on its closing quote.
    void String()
    {
        const qsizetype start = at_;
        for (++at_; at_ < bytes_.size() && bytes_[at_] != '"'; ++at_)
            if (bytes_[at_] == '\\')
                ++at_;
        if (stack_.empty() || !stack_.back().wantKey)
            return;
        Container& in = stack_.back();
        in.key = KeyText(bytes_.mid(start, at_ - start + 1));
        in.wantKey = false;
        const auto [first, added] = in.lines.emplace(in.key, line_);
        if (added)
            return;
        const std::string where = first->second == line_ ? " on line " + std::to_string(line_)
                                                         : ", on lines " + std::to_string(first->second) + " and "
                                                               + std::to_string(line_);
        facts_.repeatedKeys.push_back({MemberPath(in, in.key), "", "given twice" + where + "; give each key once"});
    }

    // A number, true, false or null; at_ is left on its last character.
    void Word()
    {
        const qsizetype start = at_;
        while (at_ + 1 < bytes_.size() && (std::isalnum(static_cast<unsigned char>(bytes_[at_ + 1]))
                                           || bytes_[at_ + 1] == '.' || bytes_[at_ + 1] == '-' || bytes_[at_ + 1] == '+'))
            ++at_;
        const char first = bytes_[start];
        if (stack_.size() != 2 || !stack_.back().object || stack_.back().path != "settings"
            || !(first == '-' || std::isdigit(static_cast<unsigned char>(first))))
            return;
        facts_.settingsNumbers[stack_.back().key] = bytes_.mid(start, at_ - start + 1).toStdString();
    }

    const QByteArray& bytes_;
    qsizetype at_ = 0;
    int line_ = 1;
    std::vector<Container> stack_;
    JsonTextFacts facts_;
};

} // namespace

JsonTextFacts ScanJsonText(const QByteArray& bytes)
{
    return Scanner(bytes).Run();
}

} // namespace lk58::config
