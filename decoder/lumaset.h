/* The Lumaset decoder control: the C interface shared by the library and its hosts. */
#ifndef LUMASET_H
#define LUMASET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define LUMASET_EXPORT __declspec(dllexport)
#else
#define LUMASET_EXPORT __attribute__((visibility("default")))
#endif

#define LUMASET_CLSID "{B1CEBFFF-BEFA-4734-9C86-5911949CFCBE}"
#define LUMASET_PROGID "LUMASET.LumasetCtrl.1"
#define LUMASET_PROPPAGE_CLSID "{842F9335-3630-4F64-B8A0-774AA5B9D084}"
#define LUMASET_PROPPAGE_PROGID "LUMASET.LumasetPropPage.1"
#define LUMASET_TYPELIB_ID "{C8D04E38-F294-4E0C-B5D9-F0574063EC1C}"

/* Results of the registration exports. */
#define LUMASET_E_TYPELIB ((int32_t)0x80040200u)
#define LUMASET_E_CLASS ((int32_t)0x80040201u)
#define LUMASET_E_NOCLASS ((int32_t)0x80040111u)
#define LUMASET_E_POINTER ((int32_t)0x80004003u)
#define LUMASET_S_FALSE 1

/* dec_opt codes; any other value decodes one frame. RUviviz returns the DecodeResult of the
 * operation. DecOptProbe: param1 is the stream's first bytes, param2 an int32 holding their
 * number on entry and height | width << 12 on success.
 * Instances may decode on threads of their own. DecOptPostProcessing acts on the instance whose
 * DecoderParams param2 gives, DecOptOutputFormat on the one param1's record holds; without one
 * they act on the instance the calling thread last initialised, selected or decoded, as does
 * DecOptIntegrityStatus. After DecOptRelease no thread acts on such an instance any more. */
enum DecOpt {
    DecOptBufferSizes = 0x4000,
    DecOptInit = 0x8000,
    DecOptRelease = 0x10000,
    DecOptPostProcessing = 0x20000,
    DecOptOutputFormat = 0x40000,
    DecOptProbe = 0x80000,
    DecOptIntegrityStatus = 0x100000,
    DecOptSelectInstance = 0x200000,
    DecOptDecode = 0
};

enum DecodeResult {
    DecodeOk = 0,
    DecodeBadArgument = 2,
    DecodeFailed = 3,
    DecodeIntegrityClean = 4,
    DecodeIntegrityTampered = 5
};

/* DecoderFrame.error: 0 a clean picture; 1 a syntax error in the picture's data (the macroblocks
 * that could not be decoded show the reference picture); 0x101 to 0x10A the stream uses a tool
 * the decoder does not serve, and its pictures are refused; 0x10B the picture came out, but its
 * direct-mode macroblocks over field-predicted ones show the reference picture; 0x10C the layer's
 * picture size is not the instance's, and its pictures are refused until the instance is
 * initialised at the size DecOptProbe reads from the layer. */
enum DecodeError {
    DecodeErrorNone = 0,
    DecodeErrorSyntax = 1,
    DecodeErrorQuarterPel = 0x101,
    DecodeErrorSprite = 0x102,              /* static sprites and global motion compensation */
    DecodeErrorDataPartitioned = 0x103,     /* data partitioning and reversible VLC */
    DecodeErrorNewpred = 0x104,
    DecodeErrorReducedResolution = 0x105,
    DecodeErrorComplexityEstimation = 0x106,
    DecodeErrorShape = 0x107,               /* binary, binary-only and grayscale shapes */
    DecodeErrorScalability = 0x108,
    DecodeErrorBitDepth = 0x109,            /* samples of other than 8 bits */
    DecodeErrorOverlappedMotion = 0x10A,    /* overlapped block motion compensation */
    DecodeErrorFieldDirect = 0x10B,         /* interlaced direct mode */
    DecodeErrorPictureSize = 0x10C          /* the layer's width or height differs from the instance's */
};

enum CodecType { CodecJpeg = 0, CodecMpeg2 = 2, CodecMpeg4 = 4 };

enum OutputFormat {
    OutputYuy2 = 1,
    OutputUyvy = 2,
    OutputYv12 = 3,
    OutputRgb32 = 4,
    OutputRgb24 = 5,
    OutputRgb555 = 6,
    OutputRgb565 = 7,
    OutputRgb32TopDown = 8,
    OutputRgb24TopDown = 9,
    OutputRgb555TopDown = 10,
    OutputRgb565TopDown = 11
};

/* One decoding instance. The caller allocates every buffer with the sizes of DecOptBufferSizes. */
typedef struct DecoderParams {
    int32_t codec_type;
    int32_t width;
    int32_t height;
    int32_t output_format;
    int32_t reserved;
    uint8_t *frame_buffer[3];
    uint8_t *display_buffer;
    void *state;
    void *tables;
    void *stream;
} DecoderParams;

/* One decode call. */
typedef struct DecoderFrame {
    uint8_t *output;
    const uint8_t *bitstream;
    int32_t length;
    int32_t render;
    int32_t output_pitch; /* pixels (packed YUV) or luma bytes (planar) a row; below the width: refused (2) */
    int32_t error;
} DecoderFrame;

typedef struct IntegrityParams {
    int32_t flags;
    int32_t level;
    uint8_t key_block[64];
} IntegrityParams;

/* Sizes written by DecOptBufferSizes: three frame buffers, display buffer, state, tables, stream. */
#define LUMASET_STATE_SIZE 723568
#define LUMASET_TABLES_SIZE 11332
#define LUMASET_STREAM_SIZE 2996

typedef struct LumasetControl LumasetControl;
typedef struct LumasetControlVtbl {
    int32_t (*AddRef)(LumasetControl *self);
    int32_t (*Release)(LumasetControl *self);
    intptr_t (*RUviviz)(LumasetControl *self, intptr_t handle, intptr_t dec_opt, intptr_t param1, intptr_t param2);
    void (*AboutBox)(LumasetControl *self);
} LumasetControlVtbl;
struct LumasetControl {
    const LumasetControlVtbl *vtbl;
};

/* The control's property page, "General": one static text and no controls. Its window comes from
 * the About module beside the library (which links Qt); the library itself has no window system. */
typedef struct LumasetPropertyPage LumasetPropertyPage;
typedef struct LumasetPropertyPageVtbl {
    int32_t (*AddRef)(LumasetPropertyPage *self);
    int32_t (*Release)(LumasetPropertyPage *self);
    const char *(*Caption)(LumasetPropertyPage *self);
    /* The page's window (a QWidget *) as a child of parent (a QWidget *, or null); the caller owns
     * it. Null in a host without widgets or without the About module. */
    void *(*CreatePage)(LumasetPropertyPage *self, void *parent);
} LumasetPropertyPageVtbl;
struct LumasetPropertyPage {
    const LumasetPropertyPageVtbl *vtbl;
};

/* The library's exports. Registration records the library in the class registry file that
 * decoder/classregistry.h reads (FindClassLibrary); hosts dlopen the path found there. */
LUMASET_EXPORT int32_t DllRegisterServer(void);
LUMASET_EXPORT int32_t DllUnregisterServer(void);
LUMASET_EXPORT int32_t DllCanUnloadNow(void);
/* clsid as text; *out receives an object holding one reference: a LumasetControl* for
 * LUMASET_CLSID, a LumasetPropertyPage* for LUMASET_PROPPAGE_CLSID. */
LUMASET_EXPORT int32_t DllGetClassObject(const char *clsid, void **out);

#ifdef __cplusplus
}
#endif

#endif /* LUMASET_H */
