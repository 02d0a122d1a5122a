#include "components/uRegister.h"

#include "components/uBitmapList.h"
#include "components/uBrowser.h"
#include "components/uColorBtn.h"
#include "components/uDeactiveMemo.h"
#include "components/uFileEmbedder.h"
#include "components/uNotifier.h"

void RegisterSystemComponents() {
    RegisterComponentClass<TFileEmbedder>();
    RegisterComponentClass<TBrowser>();
    RegisterComponentClass<TDeactiveMemo>();
    RegisterComponentClass<TNotifier>();
    RegisterComponentClass<TBitmapList>();
    RegisterComponentClass<TColorBtn>();
    RegisterComponentClass<TBitColorBtn>();
    RegisterComponentClass<TFlatBitColorBtn>();
}
