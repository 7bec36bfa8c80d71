#include "Autoconfig.h"

#include <iterator>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <mutex>

#include "Controls.h"

namespace kvx {
namespace {

// ---- the store ---------------------------------------------------------
//
// An ini file ("[Section]" lines, then "Key=Value" lines), read and written
// whole under the lock: every batch of reads first takes in what another
// process stored, every batch of writes merges into the file as it is now and
// replaces it at once (a new file renamed over the old one), so that two
// running viewers never lose each other's values.

QString escape(const QString& v)
{
    QString out;
    out.reserve(v.size());
    for (QChar c : v) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

QString unescape(const QString& v)
{
    QString out;
    out.reserve(v.size());
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const QChar n = v[++i];
            out += n == 'n' ? QChar('\n') : n == 'r' ? QChar('\r') : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

using Values = QMap<QString, QString>;  // "Section/Key" -> text

Values readIni(const QString& file)
{
    Values values;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return values;  // a missing file holds nothing
    }
    QString section;
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    for (QString line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq <= 0 || section.isEmpty()) {
            continue;  // blank, comment or broken line: passed over
        }
        values[section + "/" + line.left(eq)] = unescape(line.mid(eq + 1));
    }
    return values;
}

bool writeIni(const QString& file, const Values& values)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QMap<QString, QStringList> sections;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const int slash = it.key().indexOf('/');
        sections[it.key().left(slash)] << it.key().mid(slash + 1) + "=" + escape(it.value());
    }
    QByteArray text;
    for (auto it = sections.constBegin(); it != sections.constEnd(); ++it) {
        text += "[" + it.key().toUtf8() + "]\n" + it.value().join('\n').toUtf8() + "\n\n";
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    out.write(text);
    return out.commit();
}

class Store {
public:
    // writeThrough: kinds 1 and 3 write every batch at once; kind 2 keeps
    // its changes until the last keeper goes.
    Store(int kind, QString path, QString file, bool writeThrough)
        : kind(kind), path(std::move(path)), file_(std::move(file)), writeThrough_(writeThrough)
    {
        values_ = readIni(file_);
    }

    QVariant read(const QString& key) const
    {
        auto it = values_.constFind(key);
        return it == values_.constEnd() ? QVariant() : QVariant(it.value());
    }
    void write(const QString& key, const QVariant& value)
    {
        values_[key] = value.toString();
        changed_[key] = value.toString();
    }
    // Before a batch of reads: what other processes stored (the in-memory
    // kind keeps what it read at its creation).
    void refresh()
    {
        if (writeThrough_) {
            values_ = readIni(file_);
            for (auto it = changed_.constBegin(); it != changed_.constEnd(); ++it) {
                values_[it.key()] = it.value();
            }
        }
    }
    // After a batch of writes.
    void flush()
    {
        if (writeThrough_) {
            updateFile();
        }
    }
    // The changes merged into the file as it is now.
    void updateFile()
    {
        if (changed_.isEmpty()) {
            return;
        }
        Values now = readIni(file_);
        for (auto it = changed_.constBegin(); it != changed_.constEnd(); ++it) {
            now[it.key()] = it.value();
        }
        if (writeIni(file_, now)) {
            changed_.clear();
        }
    }

    bool exists(const QString& key) const { return values_.contains(key); }
    int readInteger(const QString& key, int def) const
    {
        bool ok = false;
        const int v = read(key).toString().trimmed().toInt(&ok);
        return ok ? v : def;
    }
    QString readString(const QString& key, const QString& def) const
    {
        const QVariant v = read(key);
        return v.isValid() ? v.toString() : def;
    }

    const int kind;
    const QString path;

private:
    QString file_;
    bool writeThrough_;
    Values values_;
    Values changed_;
};

// "Software\Vantrel\KVX": the file of the user's native store for that
// organisation and application.
QString nativeFile(const QString& path)
{
    QStringList parts = QString(path).replace('/', '\\').split('\\', Qt::SkipEmptyParts);
    const QString app = parts.isEmpty() ? QStringLiteral("KVX") : parts.takeLast();
    const QString org = parts.isEmpty() ? QStringLiteral("Vantrel") : parts.takeLast();
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, org, app).fileName();
}

// ---- process-wide state and the lock -------------------------------------

std::recursive_mutex g_lock;  // recursive, as a thread's named mutex is
int g_lockDepth = 0;
int g_lockFd = -1;
int g_lockUsers = 0;  // Autoconfig objects holding the lock file open
int g_keepers = 0;
std::unique_ptr<Store> g_store;
int g_centreX = 0;
int g_centreY = 0;

QString lockFilePath()
{
    QString folder;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        folder = QString::fromLocal8Bit(runtime) + "/vkvx";
    } else {
        folder = QString("/tmp/vkvx-%1").arg(getuid());
    }
    ::mkdir(folder.toLocal8Bit().constData(), 0700);
    QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (program.isEmpty()) {
        program = "KVX_Viewer";
    }
    return folder + "/" + program + "_autoconfig.lock";
}

bool openLock()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (g_lockFd < 0) {
        g_lockFd = ::open(lockFilePath().toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (g_lockFd < 0) {
            return false;
        }
    }
    ++g_lockUsers;
    return true;
}

void closeLock()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (--g_lockUsers == 0 && g_lockFd >= 0) {
        ::close(g_lockFd);
        g_lockFd = -1;
    }
}

// Held while the store is created or released and during every SaveAll and
// LoadAll; also across processes of the same program.
class Lock {
public:
    Lock()
    {
        g_lock.lock();
        if (g_lockDepth++ == 0 && g_lockFd >= 0) {
            while (::flock(g_lockFd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~Lock()
    {
        if (--g_lockDepth == 0 && g_lockFd >= 0) {
            ::flock(g_lockFd, LOCK_UN);
        }
        g_lock.unlock();
    }
};

QString nameOf(const QObject* o) { return o->objectName(); }

// The object whose Tag and name stand for a control: an up-down's editor is
// the edit.
QSpinBox* spinOf(const QObject* o) { return o->parent() ? qobject_cast<QSpinBox*>(o->parent()) : nullptr; }

int intProperty(const QObject* o, const char* name)
{
    const QVariant v = o->property(name);
    return v.isValid() ? v.toInt() : 0;
}

QString align(const QObject* o) { return o->property("Align").toString().toLower(); }

bool sizeable(const QWidget* f)
{
    return !(f->windowFlags() & Qt::FramelessWindowHint) && !qobject_cast<const QDialog*>(f) &&
           f->minimumSize() != f->maximumSize();
}

bool dialogBorder(const QWidget* f) { return qobject_cast<const QDialog*>(f) != nullptr; }

}  // namespace

QRect fitToMonitors(const QRect& window, const QList<QRect>& monitors, int primary)
{
    int left = window.x();
    int top = window.y();
    int w = window.width();
    int h = window.height();
    auto strictlyInside = [](const QRect& m, int x, int y) {
        return m.x() < x && m.y() < y && x < m.x() + m.width() && y < m.y() + m.height();
    };
    int64_t best = 0;
    int chosen = primary;
    for (int i = 0; i < monitors.size(); ++i) {
        const QRect& m = monitors[i];
        const int right = left + w;
        const int bottom = top + h;
        if (m.x() < left && m.y() < top && right < m.x() + m.width() && bottom < m.y() + m.height()) {
            return window;
        }
        if (!strictlyInside(m, left, top) && !strictlyInside(m, left, bottom) && !strictlyInside(m, right, bottom) &&
            !strictlyInside(m, right, top)) {
            continue;
        }
        const int64_t iw = std::min(right, m.x() + m.width()) - std::max(left, m.x());
        const int64_t ih = std::min(bottom, m.y() + m.height()) - std::max(top, m.y());
        const int64_t area = iw > 0 && ih > 0 ? iw * ih : 0;
        if (area > best) {
            best = area;
            chosen = i;
        }
    }
    if (best == 0) {
        if (primary >= 0 && primary < monitors.size()) {
            const QRect& p = monitors[primary];
            left = p.x() + p.width() / 2 - w / 2;
            top = p.y() + p.height() / 2 - h / 2;
        }
        return QRect(left, top, w, h);
    }
    const QRect& m = monitors[chosen];
    w = std::min(w, m.width());
    h = std::min(h, m.height());
    left = std::max(left, m.x());
    top = std::max(top, m.y());
    if (left + w > m.x() + m.width()) {
        left = m.x() + m.width() - w;
    }
    if (top + h > m.y() + m.height()) {
        top = m.y() + m.height() - h;
    }
    return QRect(left, top, w, h);
}

int Autoconfig::keeperCount()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_keepers;
}

int Autoconfig::classIndex(const QObject* o)
{
    if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow()) {
        return 0;
    }
    // The control classes the store keeps, by their class index 1 to 10.
    static const QMetaObject* const kClasses[] = {
        &QLineEdit::staticMetaObject,   &QComboBox::staticMetaObject,   &QCheckBox::staticMetaObject,
        &QRadioButton::staticMetaObject, &RadioGroup::staticMetaObject, &QAction::staticMetaObject,
        &QToolButton::staticMetaObject, &QFrame::staticMetaObject,      &QTreeWidget::staticMetaObject,
        &QHeaderView::staticMetaObject,
    };
    const QMetaObject* m = o->metaObject();
    for (int i = 0; i < static_cast<int>(std::size(kClasses)); ++i) {
        if (m == kClasses[i]) {
            return i + 1;
        }
    }
    return -1;
}

Autoconfig::Autoconfig(QWidget* form, bool automatic, int iniType, const QString& path, int highestTag, int lowestTag)
    : form_(form), automatic_(automatic), section_(form->objectName()), lowest_(lowestTag), highest_(highestTag)
{
    if (keeperCount() == 0) {
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            const QRect g = s->geometry();
            g_centreX = g.x() + g.width() / 2;
            g_centreY = g.y() + g.height() / 2;
        }
    }
    if (!openLock()) {
        throw AutoconfigError("Failed to create synchronization object for Autoconfig");
    }
    {
        Lock lock;
        if (!g_store) {
            switch (iniType) {
            case 1:
                g_store = std::make_unique<Store>(1, path, path, true);
                break;
            case 2:
                g_store = std::make_unique<Store>(2, path, path, false);
                break;
            case 3:
                g_store = std::make_unique<Store>(3, path, nativeFile(path), true);
                break;
            default:
                closeLock();
                throw AutoconfigError("Unknown IniType");  // nothing counted, nothing held
            }
        } else if (g_store->kind != iniType || g_store->path != path) {
            closeLock();
            throw AutoconfigError("Access mode mismatch");
        }
        ++g_keepers;
    }

    // The form and everything it owns, directly or indirectly; windows of
    // their own inside it (dialogs parented to it) keep their own controls.
    std::vector<QObject*> all{form};
    for (QObject* o : form->findChildren<QObject*>()) {
        const QObject* p = o;
        while (p && p != form && !(p->isWidgetType() && static_cast<const QWidget*>(p)->isWindow())) {
            p = p->parent();
        }
        if (p == form) {
            all.push_back(o);
        }
    }
    for (QObject* o : all) {
        // An up-down's editor carries the edit's Tag on the editor itself.
        const int tag = intProperty(o, "Tag");
        if (tag == 0 || tag < lowest_ || tag > highest_) {
            continue;
        }
        records_.push_back({o, tag, classIndex(o)});
    }
    std::stable_sort(records_.begin(), records_.end(), [](const Record& a, const Record& b) { return a.tag < b.tag; });
    if (automatic_) {
        LoadAll(true);
    }
}

Autoconfig::~Autoconfig()
{
    if (automatic_) {
        try {
            SaveAll();
        } catch (...) {
        }
    }
    {
        Lock lock;
        if (--g_keepers == 0 && g_store) {
            g_store->updateFile();
            g_store.reset();
        }
    }
    closeLock();
}

void Autoconfig::SaveAll()
{
    Lock lock;
    g_store->refresh();
    for (const Record& r : records_) {
        save(r);
    }
    g_store->flush();
}

void Autoconfig::LoadAll(bool callHandlers)
{
    Lock lock;
    g_store->refresh();
    for (const Record& r : records_) {
        load(r, callHandlers);
    }
}

void Autoconfig::save(const Record& r)
{
    Store& s = *g_store;
    const QString key = section_ + "/" + nameOf(r.object) + "_";
    switch (r.classIndex) {
    case 0: {
        auto* f = static_cast<QWidget*>(r.object);
        QRect g = f->geometry();
        if (sizeable(f)) {
            s.write(key + "Maximize", f->isMaximized() ? 1 : 0);
            if (f->isMaximized()) {
                g = f->normalGeometry();
                f->showNormal();
            }
        }
        s.write(key + "Left", g.x());
        s.write(key + "Top", g.y());
        if (!dialogBorder(f)) {
            s.write(key + "Width", g.width());
            s.write(key + "Height", g.height());
        }
        break;
    }
    case 1:
        s.write(key + "Text", static_cast<QLineEdit*>(r.object)->text());
        break;
    case 2: {
        auto* c = static_cast<QComboBox*>(r.object);
        s.write(key + "ItemIndex", c->currentIndex());
        s.write(key + "Text", c->currentText());
        break;
    }
    case 3:
    case 4:
        s.write(key + "Checked", static_cast<QAbstractButton*>(r.object)->isChecked() ? 1 : 0);
        break;
    case 5:
        s.write(key + "ItemIndex", static_cast<RadioGroup*>(r.object)->itemIndex());
        break;
    case 6:
        s.write(key + "Checked", static_cast<QAction*>(r.object)->isChecked() ? 1 : 0);
        break;
    case 7: {
        auto* b = static_cast<QToolButton*>(r.object);
        if (b->isCheckable()) {
            s.write(key + "Down", b->isChecked() ? 1 : 0);
        }
        break;
    }
    case 8: {
        auto* p = static_cast<QFrame*>(r.object);
        const QString a = align(p);
        if (a == "top" || a == "bottom") {
            s.write(key + "Height", p->height());
        } else if (a == "left" || a == "right") {
            s.write(key + "Width", p->width());
        }
        break;
    }
    case 9: {
        auto* v = static_cast<QTreeWidget*>(r.object);
        QTreeWidgetItem* header = v->headerItem();
        for (int c = 0; header && c < v->columnCount(); ++c) {
            const QString caption = header->text(c);
            s.write(key + "Col" + caption, v->columnWidth(c));
            const QVariant img = header->data(c, Qt::UserRole);
            s.write(key + "Img" + caption, img.isValid() ? img.toInt() : -1);
        }
        break;
    }
    case 10: {
        auto* hv = static_cast<QHeaderView*>(r.object);
        for (int c = 0; hv->model() && c < hv->count(); ++c) {
            const QString text = hv->model()->headerData(c, hv->orientation()).toString();
            s.write(key + "Col" + text, hv->sectionSize(c));
            const QVariant img = hv->model()->headerData(c, hv->orientation(), Qt::UserRole);
            s.write(key + "Img" + text, img.isValid() ? img.toInt() : -1);
        }
        break;
    }
    default:
        break;  // not a persistent class
    }
}

void Autoconfig::load(const Record& r, bool handlers)
{
    Store& s = *g_store;
    const QString key = section_ + "/" + nameOf(r.object) + "_";
    switch (r.classIndex) {
    case 0:
        loadForm(static_cast<QWidget*>(r.object), handlers);
        break;
    case 1: {
        auto* e = static_cast<QLineEdit*>(r.object);
        const QString text = s.readString(key + "Text", e->text());
        if (QSpinBox* spin = spinOf(e)) {
            bool ok = false;
            const int v = text.toInt(&ok);
            QSignalBlocker block(spin);
            if (ok) {
                spin->setValue(v);
            }
            if (handlers) {
                emit spin->valueChanged(spin->value());
            }
            break;
        }
        {
            QSignalBlocker block(e);
            e->setText(text);
        }
        if (handlers) {
            emit e->textChanged(e->text());
        }
        break;
    }
    case 2: {
        auto* c = static_cast<QComboBox*>(r.object);
        {
            QSignalBlocker block(c);
            c->setCurrentIndex(s.readInteger(key + "ItemIndex", c->currentIndex()));
            if (c->isEditable()) {
                c->setEditText(s.readString(key + "Text", c->currentText()));
            }
        }
        if (handlers) {
            emit c->currentIndexChanged(c->currentIndex());
            emit c->activated(c->currentIndex());
        }
        break;
    }
    case 3:
    case 4: {
        auto* b = static_cast<QAbstractButton*>(r.object);
        {
            QSignalBlocker block(b);
            b->setChecked(s.readInteger(key + "Checked", b->isChecked() ? 1 : 0) == 1);
        }
        if (handlers) {
            emit b->clicked(b->isChecked());
        }
        break;
    }
    case 5: {
        auto* g = static_cast<RadioGroup*>(r.object);
        {
            QSignalBlocker block(g);
            g->setItemIndex(s.readInteger(key + "ItemIndex", g->itemIndex()));
        }
        if (handlers) {
            emit g->clicked();
        }
        break;
    }
    case 6: {
        auto* a = static_cast<QAction*>(r.object);
        const bool checked = s.readInteger(key + "Checked", a->isChecked() ? 1 : 0) == 1;
        {
            QSignalBlocker block(a);
            a->setChecked(checked);
        }
        if (handlers) {
            const bool radio = a->actionGroup() && a->actionGroup()->isExclusive();
            if (!radio && a->isCheckable()) {
                // The handler of a plain item inverts its check mark back.
                QSignalBlocker block(a);
                a->setChecked(!checked);
            }
            if (!radio || checked) {
                a->trigger();
            }
        }
        break;
    }
    case 7: {
        auto* b = static_cast<QToolButton*>(r.object);
        if (b->isCheckable()) {
            QSignalBlocker block(b);
            b->setChecked(s.readInteger(key + "Down", b->isChecked() ? 1 : 0) == 1);
        }
        if (handlers && b->isChecked()) {
            emit b->clicked(true);
        }
        break;
    }
    case 8: {
        auto* p = static_cast<QFrame*>(r.object);
        const QString a = align(p);
        if (a == "top" || a == "bottom") {
            p->setFixedHeight(s.readInteger(key + "Height", p->height()));
        } else if (a == "left" || a == "right") {
            p->setFixedWidth(s.readInteger(key + "Width", p->width()));
        }
        break;
    }
    case 9: {
        auto* v = static_cast<QTreeWidget*>(r.object);
        QTreeWidgetItem* header = v->headerItem();
        for (int c = 0; header && c < v->columnCount(); ++c) {
            const QString caption = header->text(c);
            v->setColumnWidth(c, s.readInteger(key + "Col" + caption, v->columnWidth(c)));
            const QVariant img = header->data(c, Qt::UserRole);
            header->setData(c, Qt::UserRole, s.readInteger(key + "Img" + caption, img.isValid() ? img.toInt() : -1));
        }
        break;
    }
    case 10: {
        auto* hv = static_cast<QHeaderView*>(r.object);
        for (int c = 0; hv->model() && c < hv->count(); ++c) {
            const QString text = hv->model()->headerData(c, hv->orientation()).toString();
            hv->resizeSection(c, s.readInteger(key + "Col" + text, hv->sectionSize(c)));
        }
        break;
    }
    default:
        break;
    }
}

void Autoconfig::loadForm(QWidget* form, bool handlers)
{
    Store& s = *g_store;
    const QString key = section_ + "/" + form->objectName() + "_";
    const QRect g = form->isMaximized() ? form->normalGeometry() : form->geometry();
    const int w = s.readInteger(key + "Width", g.width());
    const int left = s.exists(key + "Left") ? s.readInteger(key + "Left", g.x()) : g_centreX - w / 2;
    const int h = s.readInteger(key + "Height", g.height());
    const int top = s.exists(key + "Top") ? s.readInteger(key + "Top", g.y()) : g_centreY - h / 2;
    QList<QRect> monitors;
    int primary = -1;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i) {
        monitors << screens[i]->geometry();
        if (screens[i] == QGuiApplication::primaryScreen()) {
            primary = i;
        }
    }
    const QRect fitted = fitToMonitors(QRect(left, top, w, h), monitors, primary);
    if (form->isMaximized()) {
        form->showNormal();
    }
    form->setGeometry(fitted);
    const bool maximise = s.readInteger(key + "Maximize", form->isMaximized() ? 1 : 0) == 1;
    if (maximise) {
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
    } else {
        form->setWindowState(form->windowState() & ~Qt::WindowMaximized);
    }
    (void)handlers;  // the form's resize handler runs from its own resize event
}

}  // namespace kvx
