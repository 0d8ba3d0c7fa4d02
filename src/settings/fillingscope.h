#pragma once

namespace lk58 {

// Sets the form's Filling flag for the lifetime of the scope, whatever way
// the scope is left, so that an error while filling never leaves the form
// deaf to the user's edits.
class TFillingScope {
public:
    explicit TFillingScope(bool& filling) : filling_(filling) { filling_ = true; }
    ~TFillingScope() { filling_ = false; }
    TFillingScope(const TFillingScope&) = delete;
    TFillingScope& operator=(const TFillingScope&) = delete;

private:
    bool& filling_;
};

} // namespace lk58
