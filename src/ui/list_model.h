#pragma once
// Shared behaviour of the two list models: rows are plain structs held by value,
// every change is announced one row at a time (views keep their scroll position and
// delegates; the model is never reset).
#include <QAbstractListModel>
#include <QHash>
#include <QMetaType>
#include <QVariant>

#include <limits>
#include <vector>

namespace perlane::detail {

// Stores `value` converted to T in `field` when Qt's type system can convert it.
// A conversion that yields nothing usable stores T's default, as QVariant::value does.
template <class T> bool assign_converted(T &field, const QVariant &value) {
    if (!value.isValid() || !QMetaType::canConvert(value.metaType(), QMetaType::fromType<T>()))
        return false;
    field = value.value<T>();
    return true;
}

// Info must provide: static QHash<int, QByteArray> role_names(); QVariant get(int role) const;
// bool set(int role, const QVariant &) (false for an unknown role or an unconvertible value).
template <class Info> class RowListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // A flat list: an item has no children.
    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    QHash<int, QByteArray> roleNames() const override { return Info::role_names(); }

    QVariant data(const QModelIndex &index, int role) const override {
        const int row = index.row();
        if (row < 0 || row >= static_cast<int>(rows_.size()))
            return {};
        return rows_[static_cast<std::size_t>(row)].get(role);
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override {
        if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
            return false;
        Info copy = rows_[static_cast<std::size_t>(index.row())];
        if (!copy.set(role, value))
            return false;
        rows_[static_cast<std::size_t>(index.row())] = std::move(copy);
        Q_EMIT dataChanged(index, index, {});
        return true;
    }

    bool removeRows(int row, int count, const QModelIndex &parent = {}) override {
        if (row < 0 || count < 1)
            return false;
        const long long end = static_cast<long long>(row) + count;
        if (end > static_cast<long long>(rows_.size()))
            return false;
        beginRemoveRows(parent, row, static_cast<int>(end - 1));
        rows_.erase(rows_.begin() + row, rows_.begin() + static_cast<std::ptrdiff_t>(end));
        endRemoveRows();
        return true;
    }

    void push(Info info) {
        const int n = static_cast<int>(rows_.size());
        beginInsertRows({}, n, n);
        rows_.push_back(std::move(info));
        endInsertRows();
    }

    void clear() {
        while (!rows_.empty()) {
            const int last = static_cast<int>(rows_.size()) - 1;
            beginRemoveRows({}, last, last);
            rows_.pop_back();
            endRemoveRows();
        }
    }

    // Makes the rows `next`: rows are inserted or removed where the lists first differ,
    // then each row that still differs is announced as changed. Views keep their delegates.
    void assign(std::vector<Info> next) {
        std::size_t first = 0;
        while (first < rows_.size() && first < next.size() && rows_[first] == next[first])
            ++first;
        const int at = static_cast<int>(first);
        if (next.size() > rows_.size()) {
            const auto extra = static_cast<std::ptrdiff_t>(next.size() - rows_.size());
            beginInsertRows({}, at, at + static_cast<int>(extra) - 1);
            rows_.insert(rows_.begin() + at, next.begin() + at, next.begin() + at + extra);
            endInsertRows();
        } else if (next.size() < rows_.size()) {
            const auto gone = static_cast<std::ptrdiff_t>(rows_.size() - next.size());
            beginRemoveRows({}, at, at + static_cast<int>(gone) - 1);
            rows_.erase(rows_.begin() + at, rows_.begin() + at + gone);
            endRemoveRows();
        }
        int changed_from = -1;
        for (std::size_t i = first; i <= rows_.size(); ++i) {
            const bool differs = i < rows_.size() && !(rows_[i] == next[i]);
            if (differs) {
                rows_[i] = std::move(next[i]);
                if (changed_from < 0)
                    changed_from = static_cast<int>(i);
            } else if (changed_from >= 0) {
                Q_EMIT this->dataChanged(this->index(changed_from), this->index(static_cast<int>(i) - 1), {});
                changed_from = -1;
            }
        }
    }

    const std::vector<Info> &rows() const { return rows_; }

protected:
    std::vector<Info> rows_;
};

} // namespace perlane::detail
