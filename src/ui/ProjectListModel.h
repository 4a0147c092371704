#pragma once
#include <QAbstractTableModel>
#include <functional>

namespace tharvel {

class ProjectTable;

// The project list's view of the project table: one column, the project names, with
// the row being edited or inserted shown from the table's buffer. Editing a name in
// place goes to the table through the setter the window provides.
class ProjectListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using NameSetter = std::function<bool(int row, const QString& name)>;

    ProjectListModel(const ProjectTable& table, NameSetter setName, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Follows the table after it changed: a reset when the number of shown rows
    // changed, else a repaint of the names.
    void refresh();

private:
    int shownRows() const;
    QString nameAt(int row) const;

    const ProjectTable& table_;
    NameSetter setName_;
    int rows_ = 0;
};

}  // namespace tharvel
