#include "app/profilecontroller.h"

#include "platform/interactive.h"
#include "profiles/profiles.h"
#include "ui/parametereditors.h"
#include "ui/sizeform.h"
#include "ui/valuelistgrid.h"

#include <QComboBox>
#include <QFileInfo>

namespace {

const QString VideoSizeKey = QStringLiteral("Video Size");
const QString CustomSize = QStringLiteral("Custom Size");

} // namespace

ProfileController::ProfileController(const QString &programFolder, IInteractive &interactive, QObject *parent)
    : QObject(parent)
    , m_programFolder(programFolder)
    , m_interactive(interactive)
{
}

void ProfileController::attach(QComboBox *profiles, ParameterEditors *editors, ValueListGrid *videoGrid)
{
    m_profiles = profiles;
    m_editors = editors;
    m_video = videoGrid;
    {
        const QSignalBlocker blocker(m_profiles);
        m_profiles->addItems(ProfileList(m_programFolder));
        m_profiles->setCurrentIndex(-1);
    }
    connect(m_profiles, &QComboBox::currentIndexChanged, this, &ProfileController::load);
    connect(m_video, &ValueListGrid::valuesChanged, this, &ProfileController::videoValuesChanged);
}

void ProfileController::load()
{
    const QString path = ProfilePath(m_programFolder, m_profiles->currentText());
    if (m_profiles->currentIndex() < 0 || !QFileInfo::exists(path))
        return;
    const int cursorRow = m_video->currentIndex().row();
    if (LoadProfile(path, m_grids, m_interactive, &m_outputExt) == ProfileStatus::Missing)
        return;
    m_editors->profileLoaded();
    // The Video grid's cursor stays on its row, without opening an editor
    // there or taking the focus; a stored "Custom Size" under it asks for a
    // size at once.
    if (cursorRow >= 0 && cursorRow < m_grids.video.rowCount()) {
        const QAbstractItemView::EditTriggers triggers = m_video->editTriggers();
        m_video->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_video->setCurrentIndex(m_grids.video.index(cursorRow, ParameterGrid::ValueColumn));
        m_video->setEditTriggers(triggers);
        videoValuesChanged();
    }
}

void ProfileController::select(int index, bool force)
{
    if (index == m_profiles->currentIndex() && !force)
        return;
    {
        const QSignalBlocker blocker(m_profiles);
        m_profiles->setCurrentIndex(index);
    }
    load();
}

bool ProfileController::selectByName(const QString &name)
{
    const int index = m_profiles->findText(name);
    if (index < 0)
        return false;
    select(index);
    return true;
}

void ProfileController::insertItem(int position, const QString &name)
{
    // The selection moves with its item and nothing is loaded.
    const QSignalBlocker blocker(m_profiles);
    m_profiles->insertItem(position, name);
}

void ProfileController::videoValuesChanged()
{
    // Only a choice made on the "Video Size" row itself asks for a size.
    const QModelIndex cursor = m_video->currentIndex();
    if (!m_sizeForm || !cursor.isValid() || m_sizeForm->isOpen())
        return;
    if (m_grids.video.nameAt(cursor.row()) != VideoSizeKey || m_grids.video.value(VideoSizeKey) != CustomSize)
        return;
    m_sizeForm->show();
}

std::optional<QString> ProfileController::parameters() const
{
    return BuildParameterString(ProfilePath(m_programFolder, m_profiles->currentText()), m_grids, m_interactive);
}
