// Placeholder until the envelope code lands.
#include "editors/envelope.h"

QStringList envelopeTypeNames()
{
    return {QStringLiteral("User"),  QStringLiteral("Preset"), QStringLiteral("Piano"),
            QStringLiteral("Guitar"), QStringLiteral("Pluck"), QStringLiteral("Brass"),
            QStringLiteral("Strings"), QStringLiteral("Organ")};
}

const EnvelopeRow envelopeShapes[8] = {};

void applyEnvelopeRow(OperatorBlock&, const EnvelopeRow&) {}
void applyEnvelopeShape(OperatorBlock&, int) {}
EnvelopePolyline envelopePolyline(const OperatorBlock&, const Voice&, bool, int, int) { return {}; }

TEnvelopePicture::TEnvelopePicture(int width, int height, int d, int b, QWidget* parent)
    : QLabel(parent), picture(width, height), offset(d), bottom(b)
{
    setFixedSize(width, height);
}

void TEnvelopePicture::draw(const OperatorBlock*, const OperatorBlock&, const Voice&) {}
