#pragma once
// A non-visual component that carries the whole content of one file inside the stored
// definition of the window that owns it, in the binary property "EmbededData":
//
//   | stored size s : int32 LE | s bytes |
//
// Compressed: the s bytes are one zlib stream (CompressBuffer, level index 2, so they
// begin 78 9C) and the file's own length is not stored. Not compressed: the file's bytes
// as they are. s = 0: an empty (or missing) file. The property is stored only when
// FileName is not empty.
#include "store/uStreams.h"
#include "toolkit/uClasses.h"

#include <string>

class TFileEmbedder : public TComponent {
public:
    // The binary property that carries the file.
    static constexpr char kDataProperty[] = "EmbededData";

    explicit TFileEmbedder(TComponent* owner);
    std::string ClassName() const override { return "TFileEmbedder"; }

    const std::string& FileName() const { return FFileName; }
    // At design time a file that does not exist is refused with Value + " was not found"
    // in the error box, and FileName stays as it was.
    void SetFileName(const std::string& value);
    bool Compressed() const { return FCompressed; }
    void SetCompressed(bool v) { FCompressed = v; }

    // The carried file's bytes (after loading, or after the last WriteData).
    const TMemoryStream& Data() const { return FData; }

    void WriteData(TStream& stream);
    // Raises ECorruptData when the stored size runs past the data, EZDecompressionError
    // for a damaged zlib stream; FData is then empty.
    void ReadData(TStream& stream);
    void SaveToStream(TStream& stream);
    // Writes a temporary file beside the target and renames it, so a failed write never
    // leaves a half file under the final name.
    void SaveToFile(const std::string& fileName);

    void GetProperties(TPropList& props) override;
    void DefineProperties(TFiler& filer) override;

private:
    std::string FFileName;
    bool FCompressed = true;
    TMemoryStream FData;
};

// The file the first file embedder of a stored window definition carries (the installer's
// main window carries its uninstaller so), read without creating the window or any of its
// controls. Empty when the definition holds no file embedder or it carries nothing.
// ECorruptData for a malformed definition or stored size, EZDecompressionError for a
// damaged zlib stream.
std::vector<std::uint8_t> EmbeddedFileOf(const std::uint8_t* definition, std::size_t size);
