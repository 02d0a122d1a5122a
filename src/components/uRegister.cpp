#include "components/uRegister.h"

#include "components/uBitmapList.h"
#include "components/uBrowser.h"
#include "components/uFileEmbedder.h"

void RegisterSystemComponents() {
    RegisterComponentClass<TFileEmbedder>();
    RegisterComponentClass<TBrowser>();
    RegisterComponentClass<TBitmapList>();
}
