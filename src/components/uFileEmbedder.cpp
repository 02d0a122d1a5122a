#include "components/uFileEmbedder.h"

#include "store/uStreamUtils.h"
#include "store/uText.h"
#include "store/uZCompress.h"
#include "toolkit/uForms.h"

namespace {

bool FileExists(const std::string& name) {
    return !name.empty() && FileExistsName(PathFromCp932(name));
}

} // namespace

TFileEmbedder::TFileEmbedder(TComponent* owner) : TComponent(owner) {}

void TFileEmbedder::SetFileName(const std::string& value) {
    if (IsDesigning() && !IsLoading() && !FileExists(value)) {
        Application.ShowErrorBox(value + " was not found");
        return;
    }
    FFileName = value;
}

void TFileEmbedder::GetProperties(TPropList& props) {
    TComponent::GetProperties(props);
    props.String(
        "FileName", [this] { return FFileName; }, [this](const std::string& v) { SetFileName(v); });
    props.Bool(
        "Compressed", [this] { return FCompressed; }, [this](bool v) { SetCompressed(v); }, true);
}

void TFileEmbedder::DefineProperties(TFiler& filer) {
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        kDataProperty, [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); },
        !FFileName.empty());
}

void TFileEmbedder::WriteData(TStream& stream) {
    FData.Clear();
    if (!FileExists(FFileName)) return WriteInteger(stream, 0);
    FData.LoadFromFile(PathFromCp932(FFileName));
    FData.SetPosition(0);
    if (FData.Size() == 0) return WriteInteger(stream, 0);
    if (FData.Size() > INT32_MAX) throw EWriteError(FFileName + " is too large to embed");
    if (FCompressed) {
        std::vector<std::uint8_t> packed = CompressBuffer(FData.Memory(), FData.Bytes().size(), 2);
        if (packed.size() > INT32_MAX) throw EWriteError(FFileName + " is too large to embed");
        WriteInteger(stream, static_cast<std::int32_t>(packed.size()));
        stream.WriteBuffer(packed.data(), packed.size());
    } else {
        WriteInteger(stream, static_cast<std::int32_t>(FData.Size()));
        stream.WriteBuffer(FData.Memory(), FData.Bytes().size());
    }
}

void TFileEmbedder::ReadData(TStream& stream) {
    std::int32_t size = ReadInteger(stream);
    FData.Clear();
    if (size <= 0) return;
    // The size comes from stored data: it must not run past what is really there.
    if (size > stream.Remaining()) throw ECorruptData("EmbededData: stored size past the end of the data");
    std::vector<std::uint8_t> block(static_cast<std::size_t>(size));
    stream.ReadBuffer(block.data(), block.size());
    if (FCompressed) {
        std::vector<std::uint8_t> plain = DecompressBuffer(block.data(), block.size(), 0);
        FData.Bytes() = std::move(plain);
    } else {
        FData.Bytes() = std::move(block);
    }
    FData.SetPosition(0);
}

void TFileEmbedder::SaveToStream(TStream& stream) {
    if (!FData.Bytes().empty()) stream.WriteBuffer(FData.Memory(), FData.Bytes().size());
}

void TFileEmbedder::SaveToFile(const std::string& fileName) {
    WriteFileAtomically(PathFromCp932(fileName), FData.Memory(), FData.Bytes().size());
}

std::vector<std::uint8_t> EmbeddedFileOf(const std::uint8_t* definition, std::size_t size) {
    const std::optional<TStoredComponent> stored = FindStoredComponent(definition, size, "TFileEmbedder");
    if (!stored) return {};
    const auto data = stored->Binaries.find(TFileEmbedder::kDataProperty);
    if (data == stored->Binaries.end()) return {};
    TFileEmbedder embedder(nullptr);
    if (const auto compressed = stored->Values.find("Compressed"); compressed != stored->Values.end())
        embedder.SetCompressed(compressed->second.Int != 0);
    TMemoryStream stream(data->second);
    embedder.ReadData(stream);
    return embedder.Data().Bytes();
}
