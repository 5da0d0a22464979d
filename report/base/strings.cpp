#include "report/base/strings.h"

#include <algorithm>
#include <array>

namespace strandel::report {
namespace {

struct Entry {
    uint16_t id;
    const char *name;
    const char *text;
};

const std::array<Entry, 291> kStrings = {{
    {65232, "SpgxDivisionByZero", "Division by Zero"},
    {65233, "SpgxValueTooBig", "Value too big"},
    {65234, "SpgxInvalidFormatnumeric", "Invalid format or value specified"},
    {65235, "SpgxSQRTInvalid", "Invalid argument to SQRT function"},
    {65236, "SpgxInvalidNot", "Invalid use of NOT"},
    {65237, "SpgxDesignAReport", "Design a report"},
    {65238, "SpgxRTFExportFilter", "RTF export filter"},
    {65239, "SpgxRTFFile", "Rich text file"},
    {65240, "SpgxWMFExportFilter", "WMF export filter"},
    {65241, "SpgxWMFFile", "Windows metafile"},
    {65242, "SpgxWritingXLS", "Writing spreadsheet"},
    {65243, "SpgxGotoPage", "Select a page from 1 to %d"},
    {65244, "SpgxXMLDocumentForWeb", "XML document for the web"},
    {65248, "SpgxPlainWizardDescription", "Plain wizard description"},
    {65249, "SpgxListWizardName", "List wizard name"},
    {65250, "SpgxListWizardDescription", "List wizard description"},
    {65251, "SpgxMasterDetailWizardName", "Master detail wizard name"},
    {65252, "SpgxMasterDetailWizardDescription", "Master detail wizard description"},
    {65253, "SpgxLabelWizardName", "Label wizard name"},
    {65254, "SpgxLabelWizardDescription", "Label wizard description"},
    {65255, "SpgxExpBldNumeric", "Argument %d - numeric value"},
    {65256, "SpgxExpBldLogical", "Argument %d - logical value"},
    {65257, "SpgxExpBldText", "Argument %d - text Value"},
    {65258, "SpgxExpBldValue", "Argument %d - value"},
    {65259, "SpgxExpBldEnterParam", "Enter %d. parameter for %s"},
    {65260, "SpgxExpBldError", "ERROR: "},
    {65261, "SpgxExpBldNoError", "There are no errors. The result is : "},
    {65262, "SpgxMissingArgument", "Missing argument for %s"},
    {65263, "SpgxConversionError", "Conversion error"},
    {65264, "SpgxEvalNotPrepared", "Evaluator not prepared"},
    {65265, "SpgxName", "Name"},
    {65266, "SpgxLoopBandType", "LoopBand"},
    {65267, "SpgxLoopBandName", "Loop Band"},
    {65268, "SpgxStringsBandType", "StringsBand"},
    {65269, "SpgxStringsBandName", "Strings Band"},
    {65270, "SpgxCommaSeparated", "Comma separated"},
    {65271, "SpgxCommaSeparatedTextFilter", "Comma separated text filter"},
    {65272, "SpgxPgxXDocument", "Pagorra X document"},
    {65273, "SpgxPgxXDocumentForWeb", "Pagorra X document for the web"},
    {65274, "SpgxHtmlDocument", "HTML document"},
    {65275, "SpgxHtmlDocumentForWeb", "HTML document for the web"},
    {65276, "SpgxExcel", "Excel"},
    {65277, "SpgxExcelFile", "Excel file"},
    {65278, "SpgxPalettePagorra", "Pagorra"},
    {65279, "SpgxPlainWizardName", "Plain wizard name"},
    {65280, "SpgxExpDivideByZero", "Cannot divide by 0"},
    {65281, "SpgxExpOperatorNotCompatible", "Operator %s is not compatible with %s expressions"},
    {65282, "SpgxExpUnknownFieldType", "Field %s is of unknown type"},
    {65283, "SpgxExpIllegalCharInNumeric", "Illegal character in numeric contant \"%s\""},
    {65284, "SpgxExpMissing", "Missing %s"},
    {65285, "SpgxExpEndString", "Missing end of string"},
    {65286, "SpgxExpUnknownFunction", "Unknown function : %s"},
    {65287, "SpgxExpError", "Error in expression : %s"},
    {65288, "SpgxExpRecursive", "Recursive calls not allowed"},
    {65289, "SpgxExpTooManyArgs", "Too many arguments"},
    {65290, "SpgxExpNotEnoughArgs", "Not enough arguments"},
    {65291, "SpgxExpWrongArguments", "Wrong arguments for %s"},
    {65292, "SpgxExpUnknownType", "Unknown type"},
    {65293, "SpgxExpIncompatible", "Incompatible types"},
    {65294, "SpgxTrue", "True"},
    {65295, "SpgxFalse", "False"},
    {65296, "SpgxConverted", "Converted"},
    {65297, "SpgxFormatNumericDesc", "Formats numeric <N> using the mask in <F>"},
    {65298, "SpgxFinish", "Finish"},
    {65299, "SpgxWizardName", "Wizard name"},
    {65300, "SpgxWizardComment", "Wizard comment"},
    {65301, "SpgxAboutInfo", "Report engine of Strandel"},
    {65302, "SpgxExpCannotOperator", "Cannot %s %s expressions"},
    {65303, "SpgxExpAdd", "add"},
    {65304, "SpgxExpSubtract", "subtract"},
    {65305, "SpgxExpMultiply", "multiply"},
    {65306, "SpgxExpDivide", "divide"},
    {65307, "SpgxExpBoolean", "boolean"},
    {65308, "SpgxExpString", "string"},
    {65309, "SpgxExpNumeric", "numeric"},
    {65310, "SpgxExpInteger", "integer"},
    {65311, "SpgxNotValue", "Not a %s value"},
    {65312, "SpgxArcSechDesc", "Returns the inverse hyperbolic secant of <X>"},
    {65313, "SpgxArcCschDesc", "Returns the inverse hyperbolic cosecant of <X>"},
    {65314, "SpgxPowerDesc", "Returns <X> raised to the power <Y>"},
    {65315, "SpgxRightStrDesc", "Returns the rightmost <N> characters of <X>"},
    {65316, "SpgxLeftStrDesc", "Returns the leftmost <N> characters of <X>"},
    {65317, "SpgxBoolDesc", "boolean value"},
    {65318, "SpgxIntDesc", "Returns the integer part of <X>"},
    {65319, "SpgxFracDesc", "Returns the fractional part of <X>"},
    {65320, "SpgxSqrtDesc", "Returns square root of <X>"},
    {65321, "SpgxTypeofDesc", "Returns the data type of <Exp>"},
    {65322, "SpgxNoCircular", "Circular linking not allowed"},
    {65323, "SpgxUpperDesc", "Converts a string to upper case letters"},
    {65324, "SpgxLowerDesc", "Converts a string to lower case letters"},
    {65325, "SpgxPrettyDesc", "Makes the first character upper case and the rest lower case"},
    {65326, "SpgxNew", "New"},
    {65327, "SpgxBusiness", "Business"},
    {65328, "SpgxCycleToRadDesc", "Converts cycles to radians"},
    {65329, "SpgxCycleToDegDesc", "Converts cycles to degrees"},
    {65330, "SpgxCycleToGradDesc", "Converts cycles to grads"},
    {65331, "SpgxCoshDesc", "Returns the hyperbolic cosine of <X>"},
    {65332, "SpgxSinhDesc", "Returns the hyperbolic sine of <X>"},
    {65333, "SpgxTanhDesc", "Returns the hyperbolic tangent of <X>"},
    {65334, "SpgxCothDesc", "Returns the hyperbolic cotangent of <X>"},
    {65335, "SpgxSechDesc", "Returns the hyperbolic secant of <X>"},
    {65336, "SpgxCschDesc", "Returns the hyperbolic cosecant of <X>"},
    {65337, "SpgxArcCotDesc", "Returns the angle whose cotangent is given"},
    {65338, "SpgxArcSecDesc", "Returns the angle whose secant is given"},
    {65339, "SpgxArcCscDesc", "Returns the angle whose cosecant is given"},
    {65340, "SpgxArcCoshDesc", "Returns the inverse hyperbolic cosine of <X>"},
    {65341, "SpgxArcSinhDesc", "Returns the inverse hyperbolic sine of <X>"},
    {65342, "SpgxArcTanhDesc", "Returns the inverse hyperbolic tangent of <X>"},
    {65343, "SpgxArcCothDesc", "Returns the inverse hyperbolic cotangent of <X>"},
    {65344, "SpgxCosDesc", "Returns the cosine of the given angle"},
    {65345, "SpgxSinDesc", "Returns the sine of the given angle"},
    {65346, "SpgxTanDesc", "Returns the tangent of the given angle"},
    {65347, "SpgxCoTanDesc", "Returns the cotangent of the given angle"},
    {65348, "SpgxSecantDesc", "Returns the secant of the given angle"},
    {65349, "SpgxCoSecantDesc", "Returns the cosecant of the given angle"},
    {65350, "SpgxHypotDesc", "Returns the hypotenuse of <X> and <Y>"},
    {65351, "SpgxRadToDegDesc", "Converts radians to degrees"},
    {65352, "SpgxRadToGradDesc", "Converts radians to grads"},
    {65353, "SpgxRadToCycleDesc", "Converts radians to cycles"},
    {65354, "SpgxDegToRadDesc", "Converts degrees to radians"},
    {65355, "SpgxDegToGradDesc", "Converts degrees to grads"},
    {65356, "SpgxDegToCycleDesc", "Converts degrees to cycles"},
    {65357, "SpgxGradToRadDesc", "Converts grads to radians"},
    {65358, "SpgxGradToDegDesc", "Converts grads to degrees"},
    {65359, "SpgxGradToCycleDesc", "Converts grads to cycles"},
    {65360, "SpgxFileNotExist", "File does not exist"},
    {65361, "SpgxCompleted", " Completed"},
    {65362, "SpgxPgxFile", "Pagorra file"},
    {65363, "SpgxIfDesc", "Returns <X> or <Y> depending on the boolean expression <Exp>"},
    {65364, "SpgxStrDesc", "Convert a numeric <X> to a string"},
    {65365, "SpgxTimeDesc", "Return current time as a string"},
    {65366, "SpgxDateDesc", "Return current date as a string"},
    {65367, "SpgxSumDesc", "Sums the numeric <X>"},
    {65368, "SpgxCopyDesc", "Returns a substring of string X"},
    {65369, "SpgxDivDesc", "Integer division of <X> by <Y>"},
    {65370, "SpgxCountDesc", "Increments for each iteration"},
    {65371, "SpgxMaxDesc", "Returns the highest <X>"},
    {65372, "SpgxMinDesc", "Returns the lowest <X>"},
    {65373, "SpgxAverageDesc", "Returns the average of numeric <X>"},
    {65374, "SpgxArcSinDesc", "Returns the angle whose sine is given"},
    {65375, "SpgxArcCosDesc", "Returns the angle whose cosine is given"},
    {65376, "SpgxMoveGroupUp", "Move group up"},
    {65377, "SpgxMoveGroupDown", "Move group down"},
    {65378, "SpgxMoveSubdetailUp", "Move sub detail up"},
    {65379, "SpgxMoveSubdetailDown", "Move sub detail down"},
    {65380, "SpgxFree", "Free"},
    {65381, "SpgxNext", "Next"},
    {65382, "SpgxCancelWizard", "Cancel wizard"},
    {65383, "SpgxLayout", "Layout"},
    {65384, "SpgxData", "Data"},
    {65385, "SpgxPgHeader", "Page header"},
    {65386, "SpgxColHdr", "Column header"},
    {65387, "SpgxPgFooter", "Page footer"},
    {65388, "SpgxErrorLoading", "Error loading report"},
    {65389, "SpgxReport", "Report"},
    {65390, "SpgxDesignReport", "Design report"},
    {65391, "SpgxCannotAdd", "Cannot add this component here"},
    {65392, "SpgxCircle", "Circle"},
    {65393, "SpgxVertLine", "Vertical line"},
    {65394, "SpgxHorzLine", "Horizontal line"},
    {65395, "SpgxTopBottom", "Top bottom"},
    {65396, "SpgxRightLeft", "Right left"},
    {65397, "SpgxFrameColor", "Frame color"},
    {65398, nullptr, "Strandel report engine"},
    {65399, "SpgxZoomIn", "Zoom in"},
    {65400, "SpgxZoomOut", "Zoom out"},
    {65401, "SpgxReportSettings", "Report settings"},
    {65402, "SpgxAboutPgx", "About Pagorra"},
    {65403, "SpgxGetUpdates", "Get updates"},
    {65404, "SpgxNone", "none"},
    {65405, "SpgxRotateBands", "Rotate bands"},
    {65406, "SpgxHideBands", "Hide bands"},
    {65407, "SpgxResetBands", "Reset bands"},
    {65408, "SpgxExpression", "Expression"},
    {65409, "SpgxErrorInExpr", "Error in expression"},
    {65410, "SpgxTime", "Time"},
    {65411, "SpgxDate", "Date"},
    {65412, "SpgxDateTime", "Date/Time"},
    {65413, "SpgxPageNum", "Page#"},
    {65414, "SpgxReportTitle", "Report title"},
    {65415, "SpgxDetailCount", "Detail count"},
    {65416, "SpgxDetailNo", "Detail no"},
    {65417, nullptr, "Holvane"},
    {65418, "SpgxAbstractFilterDescription", "Abstract non-working export filter"},
    {65419, "SpgxAbstractFilterName", "Abstract filter"},
    {65420, "SpgxAsciiFilterDescription", "Plain text export"},
    {65421, "SpgxAsciiFilterName", "Text file"},
    {65422, "SpgxAsciiFilterExtension", "txt"},
    {65423, "SpgxRectangle", "Rectangle"},
    {65424, "SpgxCut", "Cut"},
    {65425, "SpgxCopy", "Copy"},
    {65426, "SpgxPaste", "Paste"},
    {65427, "SpgxInsertField", "Insert field"},
    {65428, "SpgxInsTextArea", "Insert text area"},
    {65429, "SpgxInsShape", "Insert shape"},
    {65430, "SpgxInsPic", "Insert picture"},
    {65431, "SpgxBold", "Bold"},
    {65432, "SpgxItalic", "Italic"},
    {65433, "SpgxUnderline", "Underline"},
    {65434, "SpgxLeftAlign", "Left align"},
    {65435, "SpgxRightAlign", "Right align"},
    {65436, "SpgxCenter", "Center"},
    {65437, "SpgxAlignToPage", "Align to page"},
    {65438, "SpgxFontColor", "Font color"},
    {65439, "SpgxBackgroundColor", "Background color"},
    {65440, "SpgxPgxPrinterNotReady", "PgxPrinter not ready"},
    {65441, "SpgxValues", "Values"},
    {65442, "SpgxLeftFrame", "Left frame"},
    {65443, "SpgxRightFrame", "Right frame"},
    {65444, "SpgxTopFrame", "Top frame"},
    {65445, "SpgxBottomFrame", "Bottom frame"},
    {65446, "SpgxFilterExpr", "Filter expression"},
    {65447, "SpgxChildBand", "Child band"},
    {65448, "SpgxPagorraBusy", "The report is busy"},
    {65449, "Spgx1Column", "1 column"},
    {65450, "Spgx2Columns", "2 columns"},
    {65451, "Spgx3Columns", "3 columns"},
    {65452, "Spgx4Columns", "4 columns"},
    {65453, "SpgxNewReport", "New report"},
    {65454, "SpgxPrint", "Print"},
    {65455, "SpgxPreview", "Preview"},
    {65456, "SpgxCancel", "Cancel"},
    {65457, "SpgxExprWizard", "Expression wizard"},
    {65458, "SpgxZoomToFit", "Zoom to fit"},
    {65459, "SpgxZoom100", "Zoom 100%"},
    {65460, "SpgxZoomToWidth", "Zoom to width"},
    {65461, "SpgxFirstPage", "First page"},
    {65462, "SpgxPrevPage", "Prev page"},
    {65463, "SpgxNextPage", "Next page"},
    {65464, "SpgxLastPage", "Last page"},
    {65465, "SpgxPrintReport", "Print report"},
    {65466, "SpgxPrinterSetup", "Printer setup"},
    {65467, "SpgxSaveReport", "Save report"},
    {65468, "SpgxLoadReport", "Load report"},
    {65469, "SpgxPage", "Page"},
    {65470, "SpgxOf", "of"},
    {65471, "SpgxIllegalNewPage", "Illegal call to NewPage"},
    {65472, "SpgxChild", "Child"},
    {65473, "SpgxTitleBandName", "TitleBand"},
    {65474, "SpgxPageHeaderBandName", "PageHeaderBand"},
    {65475, "SpgxDetailBandName", "DetailBand"},
    {65476, "SpgxPageFooterBandName", "PageFooterBand"},
    {65477, "SpgxSummaryBandName", "SummaryBand"},
    {65478, "SpgxGroupHeaderBandName", "GroupHeaderBand"},
    {65479, "SpgxGroupFooterBandName", "GroupFooterBand"},
    {65480, "SpgxSubDetailBandName", "SubDetailBand"},
    {65481, "SpgxColumnHeaderBandName", "ColumnHeaderBand"},
    {65482, "SpgxOverlayBandName", "OverlayBand"},
    {65483, "SpgxChildBandName", "ChildBand"},
    {65484, "SpgxColumnFooter", "Column footer"},
    {65485, "SpgxFont", "Font"},
    {65486, "SpgxFontSize", "Font size"},
    {65487, "SpgxOK", "OK"},
    {65488, "SpgxPaperSize22", "Envelope #12 4 3/4 x 11"},
    {65489, "SpgxPaperSize23", "Envelope #14 5 x 11 1/2"},
    {65490, "SpgxPaperSize24", "C size sheet"},
    {65491, "SpgxPaperSize25", "D size sheet"},
    {65492, "SpgxPaperSize26", "E size sheet"},
    {65493, "SpgxPaperSize27", "Custom Size"},
    {65494, "SpgxTitle", "Title"},
    {65495, "SpgxPageHeader", "Page Header"},
    {65496, "SpgxDetail", "Detail"},
    {65497, "SpgxPageFooter", "Page Footer"},
    {65498, "SpgxSummary", "Summary"},
    {65499, "SpgxGroupHeader", "Group Header"},
    {65500, "SpgxGroupFooter", "Group Footer"},
    {65501, "SpgxSubDetail", "Sub Detail"},
    {65502, "SpgxColumnHeader", "Column Header"},
    {65503, "SpgxOverlay", "Overlay"},
    {65504, "SpgxPaperSize6", "Statement 5 1/2 x 8 1/2 in"},
    {65505, "SpgxPaperSize7", "Executive7 1/2 x 10 in"},
    {65506, "SpgxPaperSize8", "A3 297 x 420 mm"},
    {65507, "SpgxPaperSize9", "A4 210 x 297 mm"},
    {65508, "SpgxPaperSize10", "A4 Small 210 x 297 mm"},
    {65509, "SpgxPaperSize11", "A5 148 x 210 mm"},
    {65510, "SpgxPaperSize12", "B4 250 x 354 mm"},
    {65511, "SpgxPaperSize13", "B5 182 x 257 mm"},
    {65512, "SpgxPaperSize14", "Folio 8 1/2 x 13 in"},
    {65513, "SpgxPaperSize15", "Quarto 215 x 275 mm"},
    {65514, "SpgxPaperSize16", "10x14 in"},
    {65515, "SpgxPaperSize17", "11x17 in"},
    {65516, "SpgxPaperSize18", "Note 8 1/2 x 11 in"},
    {65517, "SpgxPaperSize19", "Envelope #9 3 7/8 x 8 7/8"},
    {65518, "SpgxPaperSize20", "Envelope #10 4 1/8 x 9 1/2"},
    {65519, "SpgxPaperSize21", "Envelope #11 4 1/2 x 10 3/8"},
    {65530, "SpgxPaperSize0", "Default size"},
    {65531, "SpgxPaperSize1", "Letter 8 1/2 x 11 in"},
    {65532, "SpgxPaperSize2", "Letter Small 8 1/2 x 11 in"},
    {65533, "SpgxPaperSize3", "Tabloid 11 x 17 in"},
    {65534, "SpgxPaperSize4", "Ledger 17 x 11 in"},
    {65535, "SpgxPaperSize5", "Legal 8 1/2 x 14 in"},
}};

std::map<uint16_t, std::string> &Overrides()
{
    static std::map<uint16_t, std::string> table;
    return table;
}

const Entry *Find(uint16_t id)
{
    auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id, [](const Entry &e, uint16_t v) { return e.id < v; });
    return it != kStrings.end() && it->id == id ? &*it : nullptr;
}

} // namespace

std::string PgxLoadStr(uint16_t id)
{
    auto &o = Overrides();
    if (auto it = o.find(id); it != o.end())
        return it->second;
    const Entry *e = Find(id);
    return e ? std::string(e->text) : std::string();
}

std::string_view PgxStringName(uint16_t id)
{
    const Entry *e = Find(id);
    return e && e->name ? std::string_view(e->name) : std::string_view();
}

int PgxStringCount() { return int(kStrings.size()); }

uint16_t PgxStringIdAt(int index)
{
    return index >= 0 && size_t(index) < kStrings.size() ? kStrings[size_t(index)].id : 0;
}

void PgxSetStringTable(const std::map<uint16_t, std::string> &texts)
{
    for (const auto &[id, text] : texts)
        if (Find(id))
            Overrides()[id] = text;
}

void PgxResetStringTable() { Overrides().clear(); }

std::string PgxFormatText(std::string_view format, std::initializer_list<std::string_view> args)
{
    std::string out;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char k = format[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 's' || k == 'd') {
                if (arg != args.end())
                    out.append(*arg++);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string PgxFmt(uint16_t id, std::initializer_list<std::string_view> args) { return PgxFormatText(PgxLoadStr(id), args); }

} // namespace strandel::report
