#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace tharvel {

// Network calls of a window: run on a thread of their own while the window's
// events go on being handled (it repaints and answers), under a busy cursor, with
// the buttons that would start them again disabled. To the caller it is an
// ordinary call: it returns the work's result, or raises the work's error, on the
// window's thread, so the window's texts and boxes follow in their usual order.
//
// The work must not touch widgets nor anything the window's thread changes
// meanwhile: hand it copies.
class WindowWork {
public:
    template <typename Work>
    static auto run(std::initializer_list<QWidget*> disable, Work&& work) -> std::invoke_result_t<Work&> {
        using Result = std::invoke_result_t<Work&>;
        if constexpr (std::is_void_v<Result>) {
            runErased(disable, [&] { work(); });
        } else {
            std::optional<Result> result;
            runErased(disable, [&] { result.emplace(work()); });
            return std::move(*result);
        }
    }

private:
    static void runErased(std::initializer_list<QWidget*> disable, const std::function<void()>& work);
};

}  // namespace tharvel
