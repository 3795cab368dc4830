#include "app/Help.h"

#include <QAction>
#include <QWidget>
#include <string>

#include "platform/HelpViewer.h"

void PvAddHelpKey(QWidget& owner, std::string_view topic) {
    auto* action = new QAction(&owner);
    action->setShortcut(QKeySequence(Qt::Key_F1));
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(action, &QAction::triggered, &owner, [command = std::string(topic)] { PvShowHelpTopic(command); });
    owner.addAction(action);
}
