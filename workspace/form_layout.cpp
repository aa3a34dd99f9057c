#include "workspace/form_layout.h"

#include <array>

#include "platform/latin1.h"
#include "workspace/help_texts.h"

namespace vant {
namespace {

constexpr FontLayout Navy(int points, bool bold = false, std::string_view face = "MS Sans Serif") {
  return FontLayout{face, points, bold, ClNavy};
}
constexpr FontLayout Black(int points, bool bold = false, std::string_view face = "MS Sans Serif") {
  return FontLayout{face, points, bold, ClBlack};
}

constexpr std::array kFolderColumns{
    ColumnLayout{"Estado", 45},
    ColumnLayout{"Nombre", 165},
    ColumnLayout{"Tamaño"_l1, 90, Align::Right},
    ColumnLayout{"Creado", 125},
    ColumnLayout{"Modificado", 125},
    ColumnLayout{"Último acceso"_l1, 125},
};

constexpr std::array kSearchColumns{
    ColumnLayout{"Estado", 45},
    ColumnLayout{"Nombre", 165},
    ColumnLayout{"En la carpeta", 200},
    ColumnLayout{"Tamaño"_l1, 90, Align::Right},
    ColumnLayout{"Creado", 125},
    ColumnLayout{"Modificado", 125},
    ColumnLayout{"Último acceso"_l1, 125},
};

constexpr std::string_view kTypeFilter =
    "Todos los archivos (*.*)||Archivos de MS Word|.doc;.rtf;.txt|Archivos de MS Excel|.xls|"
    "Archivos de MS Power Point|.ppt|Archivos de MS Access|.mdb|Archivos ejecutables|.exe;.com;.bat";

constexpr std::string_view kRecoverHint = "Pulse para recuperar el archivo seleccionado";

using K = ComponentKind;

// Parents come before their children: a toolkit builds in this order.
const ComponentLayout kLayout[] = {
    {.Name = "TVANT1", .Kind = K::Form, .Bounds = {0, 0, 779, 499}, .Caption = "VANT NTFS v 1.0",
     .Font = Black(8), .Colour = ClBtnFace},
    {.Name = "ImageList2", .Kind = K::ImageList, .Parent = "TVANT1", .ImageCount = tree_image::Count},
    {.Name = "ImageList3", .Kind = K::ImageList, .Parent = "TVANT1", .ImageCount = file_image::Count},
    {.Name = "SaveDialog1", .Kind = K::SaveDialog, .Parent = "TVANT1", .Caption = "Guardar archivo"},
    {.Name = "PageControl1", .Kind = K::PageControl, .Parent = "TVANT1", .Bounds = {8, 6, 744, 459}, .Font = Navy(10)},

    // --- first tab: the folder explorer ---
    {.Name = "TabSheet1", .Kind = K::TabSheet, .Parent = "PageControl1", .Caption = "Explorador de carpetas", .Font = Navy(10)},
    {.Name = "Panel3", .Kind = K::Panel, .Parent = "TabSheet1", .Bounds = {5, 2, 728, 351}, .StretchWidth = true,
     .Bevels = BevelRaisedInner | BevelLoweredOuter},
    {.Name = "Label7", .Kind = K::Label, .Parent = "Panel3", .Bounds = {15, 8, 178, 16}, .Caption = "Carpetas",
     .Font = FontLayout{"MS Sans Serif", 8, false, ClWhite}, .Colour = ClDesktop, .Centred = true},
    {.Name = "TreeView1", .Kind = K::TreeView, .Parent = "Panel3", .Bounds = {14, 25, 179, 311}, .Font = Navy(10),
     .Images = "ImageList2", .Indent = 19},
    {.Name = "ListView1", .Kind = K::ListView, .Parent = "Panel3", .Bounds = {201, 34, 521, 301}, .Font = Navy(8),
     .Columns = kFolderColumns, .Images = "ImageList3"},
    {.Name = "Panel4", .Kind = K::Panel, .Parent = "Panel3", .Bounds = {200, 33, 523, 303},
     .Caption = "Seleccione una carpeta para comenzar", .Font = Navy(14, true)},
    {.Name = "Panel5", .Kind = K::Panel, .Parent = "Panel3", .Bounds = {200, 33, 523, 303}, .Visible = false},
    {.Name = "Label11", .Kind = K::Label, .Parent = "Panel5", .Bounds = {11, 7, 504, 49}, .Font = Navy(13, true),
     .Centred = true, .WordWrap = true},
    {.Name = "StaticText1", .Kind = K::StaticText, .Parent = "Panel5", .Bounds = {22, 58, 481, 42},
     .Caption = "Rogamos espere hasta que la operación se haya completado"_l1, .Font = Black(13, true), .Centred = true},
    {.Name = "Label12", .Kind = K::Label, .Parent = "Panel5", .Bounds = {97, 108, 0, 0},
     .Caption = "Realizando la lectura de la unidad", .Font = Navy(14, true)},
    {.Name = "Label13", .Kind = K::Label, .Parent = "Panel5", .Bounds = {97, 135, 0, 0},
     .Caption = "Colocando archivos en árbol de carpetas"_l1, .Font = Navy(14, true)},
    {.Name = "Label14", .Kind = K::Label, .Parent = "Panel5", .Bounds = {97, 164, 0, 0},
     .Caption = "Ubicando archivos perdidos", .Font = Navy(14, true)},
    {.Name = "Image7", .Kind = K::Image, .Parent = "Panel5", .Bounds = {70, 112, 16, 16}, .Transparent = true,
     .ImageSource = "ImageList3"},
    {.Name = "Image8", .Kind = K::Image, .Parent = "Panel5", .Bounds = {70, 138, 16, 16}, .Transparent = true,
     .ImageSource = "ImageList3"},
    {.Name = "Image9", .Kind = K::Image, .Parent = "Panel5", .Bounds = {70, 166, 16, 16}, .Transparent = true,
     .ImageSource = "ImageList3"},
    {.Name = "ProgressBar1", .Kind = K::ProgressBar, .Parent = "Panel5", .Bounds = {49, 221, 446, 23}},
    {.Name = "BitBtn4", .Kind = K::BitBtn, .Parent = "Panel5", .Bounds = {218, 264, 102, 29}, .Caption = "&Cancelar"},
    {.Name = "GroupBox1", .Kind = K::GroupBox, .Parent = "TabSheet1", .Bounds = {5, 354, 727, 63},
     .Caption = "Mostrar Archivos", .Font = Black(10)},
    {.Name = "Image1", .Kind = K::Image, .Parent = "GroupBox1", .Bounds = {160, 16, 16, 16}, .Transparent = true,
     .ImageIndex = file_image::DeletedFile, .ImageSource = "ImageList3"},
    {.Name = "Label1", .Kind = K::Label, .Parent = "GroupBox1", .Bounds = {182, 17, 0, 0}, .Caption = "Archivo borrado",
     .Font = Black(8)},
    {.Name = "Image2", .Kind = K::Image, .Parent = "GroupBox1", .Bounds = {160, 40, 16, 16}, .Transparent = true,
     .ImageIndex = file_image::LiveFile, .ImageSource = "ImageList3"},
    {.Name = "Label2", .Kind = K::Label, .Parent = "GroupBox1", .Bounds = {182, 41, 0, 0}, .Caption = "Archivo no borrado",
     .Font = Black(8)},
    {.Name = "CheckBox1", .Kind = K::CheckBox, .Parent = "GroupBox1", .Bounds = {383, 25, 17, 17},
     .Hint = "Mostrar los archivos borrados"},
    {.Name = "Label3", .Kind = K::Label, .Parent = "GroupBox1", .Bounds = {403, 26, 0, 0},
     .Caption = "Ver sólo los archivos borrados"_l1, .Font = Black(8)},
    {.Name = "BitBtn2", .Kind = K::BitBtn, .Parent = "GroupBox1", .Bounds = {611, 21, 106, 33}, .Caption = "Recuperar",
     .Font = Navy(14, true, "Arial"), .Hint = kRecoverHint, .Enabled = false},

    // --- second tab: the file search ---
    {.Name = "TabSheet2", .Kind = K::TabSheet, .Parent = "PageControl1", .Caption = "Búsqueda de archivos"_l1,
     .Font = Navy(10)},
    {.Name = "Panel1", .Kind = K::Panel, .Parent = "TabSheet2", .Bounds = {4, 8, 730, 85}, .Font = Black(10),
     .Bevels = BevelRaisedInner | BevelLoweredOuter},
    {.Name = "Label4", .Kind = K::Label, .Parent = "Panel1", .Bounds = {8, 2, 0, 0},
     .Caption = "Buscar archivos cuyo nombre contenga la palabra:", .Font = Black(10)},
    {.Name = "Edit1", .Kind = K::Edit, .Parent = "Panel1", .Bounds = {8, 19, 398, 24}, .Font = Black(10)},
    {.Name = "Label5", .Kind = K::Label, .Parent = "Panel1", .Bounds = {8, 48, 0, 0}, .Caption = "Tipo:", .Font = Black(10)},
    {.Name = "FilterComboBox1", .Kind = K::FilterComboBox, .Parent = "Panel1", .Bounds = {62, 47, 345, 24},
     .Caption = kTypeFilter, .Font = Black(10)},
    {.Name = "CheckBox8", .Kind = K::CheckBox, .Parent = "Panel1", .Bounds = {454, 7, 200, 17},
     .Caption = "Nombre completo sólamente"_l1, .Font = Black(10)},
    {.Name = "CheckBox7", .Kind = K::CheckBox, .Parent = "Panel1", .Bounds = {454, 25, 200, 17},
     .Caption = "Descartar búsqueda anterior"_l1, .Font = Black(10), .Checked = true},
    {.Name = "Label15", .Kind = K::Label, .Parent = "Panel1", .Bounds = {441, 44, 0, 0},
     .Caption = "Estado de la búsqueda"_l1, .Font = Black(10), .Visible = false},
    {.Name = "ProgressBar2", .Kind = K::ProgressBar, .Parent = "Panel1", .Bounds = {436, 61, 150, 16}, .Visible = false},
    {.Name = "BitBtn5", .Kind = K::BitBtn, .Parent = "Panel1", .Bounds = {596, 47, 112, 28}, .Caption = "&Buscar",
     .Font = Navy(14, true), .Hint = "Comenzar la búsqueda de archivos"},
    {.Name = "Panel2", .Kind = K::Panel, .Parent = "TabSheet2", .Bounds = {5, 101, 729, 251}, .StretchWidth = true,
     .Bevels = BevelRaisedInner | BevelLoweredOuter},
    {.Name = "Label6", .Kind = K::Label, .Parent = "Panel2", .Bounds = {8, 6, 714, 16},
     .Caption = "Resultado de la Búsqueda"_l1, .Font = FontLayout{"MS Sans Serif", 8, false, ClWhite},
     .Colour = ClDesktop, .Centred = true},
    {.Name = "ListView2", .Kind = K::ListView, .Parent = "Panel2", .Bounds = {6, 27, 716, 217}, .Font = Navy(8),
     .Columns = kSearchColumns, .Images = "ImageList3"},
    {.Name = "GroupBox2", .Kind = K::GroupBox, .Parent = "TabSheet2", .Bounds = {5, 354, 729, 70},
     .Caption = "Mostrar Archivos", .Font = Black(10)},
    {.Name = "Image3", .Kind = K::Image, .Parent = "GroupBox2", .Bounds = {160, 16, 16, 16}, .Transparent = true,
     .ImageIndex = file_image::DeletedFile, .ImageSource = "ImageList3"},
    {.Name = "Label8", .Kind = K::Label, .Parent = "GroupBox2", .Bounds = {182, 17, 0, 0}, .Caption = "Archivo borrado",
     .Font = Black(8)},
    {.Name = "Image4", .Kind = K::Image, .Parent = "GroupBox2", .Bounds = {160, 40, 16, 16}, .Transparent = true,
     .ImageIndex = file_image::LiveFile, .ImageSource = "ImageList3"},
    {.Name = "Label9", .Kind = K::Label, .Parent = "GroupBox2", .Bounds = {182, 41, 0, 0}, .Caption = "Archivo no borrado",
     .Font = Black(8)},
    {.Name = "CheckBox2", .Kind = K::CheckBox, .Parent = "GroupBox2", .Bounds = {383, 26, 17, 17},
     .Hint = "Mostrar los archivos borrados"},
    {.Name = "Label10", .Kind = K::Label, .Parent = "GroupBox2", .Bounds = {410, 25, 0, 0},
     .Caption = "Ver sólo los archivos borrados"_l1, .Font = Black(8)},
    {.Name = "BitBtn3", .Kind = K::BitBtn, .Parent = "GroupBox2", .Bounds = {611, 21, 106, 33}, .Caption = "Recuperar",
     .Font = Navy(14, true, "Arial"), .Hint = kRecoverHint, .Enabled = false},

    // --- third tab: help ---
    {.Name = "TabSheet3", .Kind = K::TabSheet, .Parent = "PageControl1", .Caption = "¿Necesita ayuda?"_l1, .Font = Navy(10)},
    {.Name = "PageControl2", .Kind = K::PageControl, .Parent = "TabSheet3", .Bounds = {4, 4, 728, 418}, .Font = Navy(10)},
    {.Name = "TabSheet4", .Kind = K::TabSheet, .Parent = "PageControl2", .Caption = "Instrucciones", .Font = Navy(10)},
    {.Name = "Memo1", .Kind = K::HelpText, .Parent = "TabSheet4", .Bounds = {4, 4, 712, 380},
     .Caption = kInstructionsText, .Font = Black(10, false, "Arial"), .Colour = ClBtnFace},
    {.Name = "TabSheet5", .Kind = K::TabSheet, .Parent = "PageControl2", .Caption = "FAQs", .Font = Navy(10)},
    {.Name = "Memo2", .Kind = K::HelpText, .Parent = "TabSheet5", .Bounds = {4, 4, 712, 380}, .Caption = kFaqText,
     .Font = Black(10, false, "Arial"), .Colour = ClBtnFace},
};

}  // namespace

FormLayout Tvant1Layout() { return kLayout; }

}  // namespace vant
