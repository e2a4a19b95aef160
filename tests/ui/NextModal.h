#pragma once

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace turnpost::test {

/// Runs the action on the modal dialog that the next call opens, as soon as it is up.
template <typename Dialog> void OnNextModal(std::function<void(Dialog*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        action(dialog);
    });
}

} // namespace turnpost::test
