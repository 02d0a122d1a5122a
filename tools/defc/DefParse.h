#pragma once
// The text form of a window definition, as compiled by defc:
//
//   # comment
//   object frmMain: TForm            (an unnamed component: "object TForm")
//     Caption = 'インストール'         UTF-8 text, converted to code page 932; '' is a quote;
//                                    pieces joined with +: 'a' + 'b'; ${VAR} is replaced
//     Left = 10                      int;  Visible = False   bool
//     Color = clWhite                colour: a cl name, $BBGGRR hex or a number
//     Align = alClient               enumeration identifier
//     BorderIcons = [biSystemMenu]   set
//     Lines = (                      list of strings, one quoted string a line
//       'first'
//     )
//     Blob = {00FF10}                bytes in hexadecimal, or @file for a file's bytes
//     EmbededData = @file            a binary property: the file's bytes are handed to the
//                                    component's own reader, and its writer stores them
//     Images = ('icon=icon.bmp')     a bitmap list's design-time list of image files
//                                    (format in components/uBitmapList.h); defc runs in
//                                    the definition's folder, so relative names start there
//     object btnNext: TButton ... end   children
//   end
//
// The components are created by class name and run their own property writers and
// binary-property writers, so the output is exactly what they write at run time.
#include "toolkit/uClasses.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>

class EDefSyntax : public Exception {
public:
    using Exception::Exception;
};

struct TDefOptions {
    std::map<std::string, std::string> Vars; // ${NAME} substitutions (UTF-8)
    std::filesystem::path BaseDir;           // relative @file paths start here
};

// Parses the text and builds the component tree; the root is returned (owner of the rest),
// in the designing state. Raises EDefSyntax naming the line for any error.
std::unique_ptr<TComponent> ParseDefinition(const std::string& text, const TDefOptions& options);
