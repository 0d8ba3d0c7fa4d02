#pragma once

#include <array>
#include <concepts>
#include <cstring>
#include <functional>
#include <memory>
#include <typeindex>
#include <utility>
#include <variant>

namespace lk58 {

// An event handler: an object's member function or any callable, or nothing
// (default-constructed: unassigned). Two handlers built from the same object
// and member function compare equal, so that assigning a handler that is
// already there can be recognised; copies of a handler built from a callable
// compare equal to each other only.
template <class... Args>
class TEvent {
public:
    TEvent() = default;

    template <class C, class M>
        requires std::derived_from<C, M>
    TEvent(C* object, void (M::*method)(Args...))
        : call_([object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); })
        , object_(object)
        , type_(typeid(method))
    {
        static_assert(sizeof(method) <= sizeof(code_));
        std::memcpy(code_.data(), &method, sizeof(method));
    }

    template <class F>
        requires std::invocable<F&, Args...> && (!std::same_as<std::decay_t<F>, TEvent>)
    TEvent(F callable)
        : call_(std::move(callable))
        , object_(std::make_shared<char>())
        , type_(typeid(F))
    {
    }

    explicit operator bool() const { return static_cast<bool>(call_); }

    void operator()(Args... args) const { call_(std::forward<Args>(args)...); }

    friend bool operator==(const TEvent& a, const TEvent& b)
    {
        if (!a.call_ || !b.call_)
            return !a.call_ && !b.call_;
        return a.Identity() == b.Identity() && a.type_ == b.type_ && a.code_ == b.code_;
    }

private:
    const void* Identity() const
    {
        if (const auto* tag = std::get_if<std::shared_ptr<char>>(&object_))
            return tag->get();
        return std::get<const void*>(object_);
    }

    std::function<void(Args...)> call_;
    std::variant<const void*, std::shared_ptr<char>> object_;
    std::type_index type_ = typeid(void);
    std::array<unsigned char, 2 * sizeof(void*)> code_{};
};

} // namespace lk58
