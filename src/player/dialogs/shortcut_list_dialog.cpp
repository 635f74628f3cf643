#include "player/dialogs/shortcut_list_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

#include "player/dialogs/shortcut_list.h"

namespace koru::player {

namespace {

constexpr int kDescriptionWidth = 160;
constexpr int kKeyWidth = 100;

}  // namespace

ShortcutListDlg::ShortcutListDlg(QWidget* parent, int language) : KeyReleaseDialog(parent) {
    setObjectName("ShortcutListDlg");
    setWindowTitle(kShortcutListTitle.Q(language));
    list_ = new QTreeWidget;
    list_->setObjectName(QString::number(control::kShortcutList));
    if (language == 0) list_->setFont(font());  // the dialog's own font, for the Hangul rows
    list_->setColumnCount(2);
    list_->setHeaderLabels({kShortcutKeyInformation.Q(language), kShortcutKey.Q(language)});
    list_->setColumnWidth(0, kDescriptionWidth);
    list_->setColumnWidth(1, kKeyWidth);
    list_->header()->setStretchLastSection(false);
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const ShortcutRow& row : ShortcutRows()) {
        list_->addTopLevelItem(new QTreeWidgetItem(
            QStringList{row.description.Q(language), QString::fromUtf8(row.key)}));
    }
    // Every row in sight.
    const int rows = list_->topLevelItemCount();
    list_->setFixedSize(kDescriptionWidth + kKeyWidth + list_->frameWidth() * 2,
                        list_->header()->sizeHint().height() + list_->sizeHintForRow(0) * rows +
                            list_->frameWidth() * 2 + 2);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(kOkText.Q(language), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::number(control::kDialogOk));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace koru::player
