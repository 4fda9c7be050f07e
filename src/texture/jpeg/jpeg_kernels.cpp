// The choice of the decoder's kernel set, once per decode.
#include "texture/jpeg/jpeg_kernels.h"

namespace {

void UseRowKernels(JpegKernels& k, const JpegRowKernels& set) {
    k.smoothH2V1 = set.smoothH2V1;
    k.smoothH2V2Row = set.smoothH2V2Row;
    k.yccToPixels = set.yccToPixels;
    k.greyToPixels = set.greyToPixels;
}

}  // namespace

JpegKernels ChooseJpegKernels(SimdLevel level) {
    JpegKernels k{ChooseInverseDctFor(level), SmoothH2V1Scalar, SmoothH2V2RowScalar, YccRowScalar, GreyRowScalar};
    if (JpegRowKernelsAvx2.smoothH2V1 && level >= SimdAvx2) {
        UseRowKernels(k, JpegRowKernelsAvx2);
    } else if (JpegRowKernelsSse2.smoothH2V1 && level >= SimdSse2) {
        UseRowKernels(k, JpegRowKernelsSse2);
    }
    return k;
}
