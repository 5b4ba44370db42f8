// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/GuardedHandler.h"

#include "app/StringConversion.h"
#include "catalog/Errors.h"

namespace stowmere::app {
void OnFailure::recoverFrom(const std::exception& error) const
{
    if (!m_recover)
        return;
    try {
        m_recover(error);
    } catch (const std::exception&) {
        // The first error is the one the user needs to see; a second one from putting the
        // window back in order would only hide it.
    }
}

bool guarded(Dialogs& dialogs, const std::function<void()>& body, const OnFailure& onFailure)
{
    try {
        body();
        return true;
    } catch (const std::exception& error) {
        onFailure.recoverFrom(error);
        const QString text = toQString(error.what());
        if (onFailure.showsRefusalAsInformation() && dynamic_cast<const catalog::RuleRefusal*>(&error))
            dialogs.information(text);
        else if (onFailure.box() == MessageKind::Application)
            dialogs.reportException(text);
        else
            dialogs.message(onFailure.box(), text);
    }
    return false;
}

} // namespace stowmere::app
