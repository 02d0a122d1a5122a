#include "components/uRegister.h"

#include "components/uFileEmbedder.h"

void RegisterSystemComponents() {
    RegisterComponentClass<TFileEmbedder>();
}
