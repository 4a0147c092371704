#include "ui/ProjectListModel.h"

#include "projects/ProjectTable.h"

namespace tharvel {

ProjectListModel::ProjectListModel(const ProjectTable& table, NameSetter setName, QObject* parent)
    : QAbstractTableModel(parent), table_(table), setName_(std::move(setName)), rows_(shownRows()) {}

int ProjectListModel::shownRows() const {
    return table_.rowCount() + (table_.state() == ProjectTable::State::Inserting ? 1 : 0);
}

QString ProjectListModel::nameAt(int row) const {
    const int current = table_.currentIndex();
    if (table_.isEditingOrInserting() && row == current)
        return QString::fromStdString(table_.value(ProjectColumn::Project).toText());
    int stored = row;
    if (table_.state() == ProjectTable::State::Inserting && row > current) --stored;
    if (stored < 0 || stored >= table_.rowCount()) return QString();
    return QString::fromStdString(table_.row(stored)[columnIndex(ProjectColumn::Project)].toText());
}

int ProjectListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ProjectListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant ProjectListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) return nameAt(index.row());
    return {};
}

QVariant ProjectListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal && section == 0) return QStringLiteral("Project Name");
    if (orientation == Qt::Vertical) return QString();
    return {};
}

Qt::ItemFlags ProjectListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool ProjectListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    if (value.toString() == nameAt(index.row())) return false;
    return setName_(index.row(), value.toString());
}

void ProjectListModel::refresh() {
    const int rows = shownRows();
    if (rows != rows_) {
        beginResetModel();
        rows_ = rows;
        endResetModel();
    } else if (rows_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, 0));
    }
}

}  // namespace tharvel
