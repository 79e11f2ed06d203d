#pragma once
// A step that needs a human (a dialog's exec(), a file or printer chosen): what the program
// does by default, replaceable so that tests run without one.

#include <functional>
#include <utility>

template <typename Signature> class Replaceable {
public:
    explicit Replaceable(std::function<Signature> standard) : m_call(std::move(standard)) {}
    // Puts another in its place; returns the one it replaced, to put back.
    std::function<Signature> replace(std::function<Signature> call)
    {
        std::swap(call, m_call);
        return call;
    }
    template <typename... Args> decltype(auto) operator()(Args &&...args) const
    {
        return m_call(std::forward<Args>(args)...);
    }

private:
    std::function<Signature> m_call;
};
