// Loads the driver (Conducao.cpp) into the Windows program as a Qt generic plugin: QGuiApplication
// loads the plugins named in QT_QPA_GENERIC_PLUGINS ("zelto_conducao") while it starts, and the
// driver's start routine then runs as under LD_PRELOAD on Debian. The plugin itself makes nothing.
#include <QGenericPlugin>

class ConducaoNoWindows : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "conducao.json")
public:
    QObject* create(const QString&, const QString&) override { return nullptr; }
};

#include "ConducaoNoWindows.moc"
