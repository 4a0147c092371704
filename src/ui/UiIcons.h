#pragma once
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace tharvel {

// The pictures of the buttons and the logo, drawn at run time so that the program
// carries no image files.
class UiIcons {
public:
    static QIcon about();
    static QIcon contact();
    static QIcon exit();
    static QIcon newProject();
    static QIcon deleteProject();
    static QIcon editProject();
    static QIcon save();
    static QIcon cancel();
    static QIcon testConnection();
    static QIcon clearPassword();
    static QIcon viewLog();
    static QPixmap logo(QSize size);
};

}  // namespace tharvel
