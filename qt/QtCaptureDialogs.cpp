#include "qt/QtCaptureDialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

// OK and Cancel at the bottom of dialog, below content.
void finish(QDialog& dialog, QLayout* content) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(content);
    layout->addWidget(buttons);
}

// Titles the dialog with the device's name and the dialog's, wide enough that the title bar
// shows all of it: the title in bold, and room for the title bar's icon and buttons.
void setTitle(QDialog& dialog, const std::string& device, const char* name) {
    const QString title =
        QString::fromStdString(device) + QStringLiteral(" - ") + QLatin1String(name);
    dialog.setWindowTitle(title);
    QFont bold = dialog.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    dialog.setMinimumWidth(metrics.horizontalAdvance(title) + 8 * metrics.height());
}

// A slider with a number box for a number or a switch; returns how to read its value.
std::function<std::int32_t()> addNumberRow(QFormLayout& form, const CameraControl& control,
                                           const std::function<void(int)>& tell) {
    auto* slider = new QSlider(Qt::Horizontal);
    auto* box = new QSpinBox;
    const int step = std::max(control.step, 1);
    slider->setRange(control.minimum, control.maximum);
    slider->setSingleStep(step);
    slider->setValue(control.value);
    box->setRange(control.minimum, control.maximum);
    box->setSingleStep(step);
    box->setValue(control.value);
    QObject::connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
    QObject::connect(box, &QSpinBox::valueChanged, slider, &QSlider::setValue);
    QObject::connect(box, &QSpinBox::valueChanged, box, tell);
    auto* row = new QHBoxLayout;
    row->addWidget(slider, 1);
    row->addWidget(box);
    form.addRow(QString::fromStdString(control.name), row);
    return [box] { return box->value(); };
}

// A list of a menu control's entries; returns how to read its value.
std::function<std::int32_t()> addMenuRow(QFormLayout& form, const CameraControl& control,
                                         const std::function<void(int)>& tell) {
    auto* list = new QComboBox;
    for (const CameraControl::Choice& choice : control.choices) {
        list->addItem(QString::fromStdString(choice.name), choice.value);
        if (choice.value == control.value) {
            list->setCurrentIndex(list->count() - 1);
        }
    }
    QObject::connect(list, &QComboBox::currentIndexChanged, list,
                     [list, tell] { tell(list->currentData().toInt()); });
    form.addRow(QString::fromStdString(control.name), list);
    const std::int32_t was = control.value;
    return [list, was] { return list->currentIndex() < 0 ? was : list->currentData().toInt(); };
}

} // namespace

QtCaptureDialogs::QtCaptureDialogs(std::function<QWidget*()> owner)
    : owner_(std::move(owner)) {}

QWidget* QtCaptureDialogs::currentOwner() const {
    return owner_ ? owner_() : nullptr;
}

std::optional<std::size_t> QtCaptureDialogs::chooseFrameSize(const std::string& device,
                                                             const std::vector<FrameSize>& sizes,
                                                             std::size_t current) {
    QDialog dialog(currentOwner());
    setTitle(dialog, device, "Video Format");
    auto* list = new QListWidget;
    list->setObjectName("frameSizes");
    for (const FrameSize& size : sizes) {
        list->addItem(QStringLiteral("%1 x %2").arg(size.width).arg(size.height));
    }
    if (current < sizes.size()) {
        list->setCurrentRow(static_cast<int>(current));
    }
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* content = new QVBoxLayout;
    content->addWidget(new QLabel(QStringLiteral("Image size:")));
    content->addWidget(list);
    finish(dialog, content);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(list->currentRow());
}

std::optional<std::vector<std::int32_t>>
QtCaptureDialogs::editControls(const std::string& device,
                               const std::vector<CameraControl>& controls,
                               const ControlChanged& changed) {
    QDialog dialog(currentOwner());
    setTitle(dialog, device, "Video Source");
    auto* form = new QFormLayout;
    std::vector<std::function<std::int32_t()>> readers;
    for (std::size_t position = 0; position < controls.size(); ++position) {
        const CameraControl& control = controls[position];
        const auto tell = [&changed, position](int value) {
            if (changed) {
                changed(position, value);
            }
        };
        if (control.choices.empty()) {
            readers.push_back(addNumberRow(*form, control, tell));
        } else {
            readers.push_back(addMenuRow(*form, control, tell));
        }
    }
    finish(dialog, form);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::vector<std::int32_t> values;
    for (const auto& read : readers) {
        values.push_back(read());
    }
    return values;
}
