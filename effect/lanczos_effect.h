// The compiled resampling effect (fx_2_0 binary, first word 0xFEFF0901),
// generated at build time from lanczos.fx. Pass it with its exact length to
// D3DXCreateEffect.
#pragma once

extern const unsigned char kLanczosEffect[];
extern const unsigned kLanczosEffectSize;
