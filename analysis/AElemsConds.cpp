#include "AElemsConds.h"

#include "FieldText.h"

AElemsConds::AElemsConds(QWidget* parent) : QFrame(parent)
{
    setupUi(this);
}

ElemBackground AElemsConds::background() const
{
    ElemBackground bg;
    bg.dmut = FieldText::number(BGVDMut->text());
    bg.dE = FieldText::number(BGVDE->text());
    bg.roi = FieldText::number(BGVROI->text());
    bg.nroi = FieldText::number(BGVNROI->text());
    return bg;
}
