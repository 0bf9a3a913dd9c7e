// Lanczos resampling along one axis per pass.
//
// The kernel is not evaluated here: txWgt holds it as a 256 x 16 table of
// signed 16-bit weights (row r, texel k: U = L(r + k/255), V = L(r + 1 - k/255),
// rows from the radius on zero), read with linear filtering. Every output is
// the weighted sum of its taps divided by the sum of their weights.
//
// Vertex input: texture coordinate set 0 = (u, v, s, t). u, v run 0..1
// across the target; s, t are the sample point in pixels of the pass's
// source, pixel centres on whole numbers. A horizontal pass resamples along
// s and reads the source row at v; a vertical pass along t, at column u.
//
// Registers: the samplers are fixed (samWgt s0, samSrc s1) because the pass
// states below repeat their states on those stages. Parameters live in
// c0-c1 and i0-i2, literals from c8 on.

texture2D txWgt;
sampler samWgt : register(s0) = sampler_state
{
    Texture = <txWgt>;
    AddressU = Clamp;
    AddressV = Clamp;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
};

texture2D txSrc;
sampler samSrc : register(s1) = sampler_state
{
    Texture = <txSrc>;
    AddressU = Mirror;
    AddressV = Mirror;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
};

int iRadius : register(i2);     // loop count of the enlarging passes
int iRep[2] : register(i0);     // loop counts of the reducing passes: i0 horizontal, i1 vertical
float2 fRszSrc : register(c0);  // one source pixel in texture coordinates (1/width, 1/height)
float2 fMinRt : register(c1);   // destination size / source size (width, height)

technique LanczosResize
{
    // Horizontal reduce. The kernel is stretched to the output's scale: a tap
    // d source pixels away weighs L(d * fMinRt.x); iRep[0] pairs of taps.
    pass p0
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_3_0
            dcl_texcoord0 v0
            def c8, 0.0, 0.5, 1.0, 1.5
            def c10, 255.0, 1.0, 255.0, 1.0
            def c11, 0.00390625, 0.0625, 0.00390625, 0.0625
            dcl_2d s0
            dcl_2d s1
            frc r0.x, v0.z                  // f = frac(s)
            add r0.y, c8.z, -r0.x           // g = 1 - f
            add r0.z, v0.z, c8.y            // c = s + 0.5
            mov r0.w, c8.x                  // k = 0
            mov r5, c8.z
            mov r5.x, -c8.z                 // (-1, +1): tap A before the sample point, tap B after it
            mov r7.yw, v0.y                 // taps: r7 = (A, v, B, v)
            mov r2, c8.x                    // sum of weighted taps (xyz), sum of weights (w)
            rep i0
                add r1.xy, r0, r0.w             // distances dA = f + k, dB = g + k
                mad r6.xy, r1, r5, r0.z         // texel centres c - dA, c + dB
                mul r7.xz, r6.xxyy, c0.x        // ... in texture coordinates
                mul r8.xz, r1.xxyy, c1.x        // distances in destination pixels tA, tB
                frc r9.xz, r8                   // their fractions
                add r9.yw, r8.xxzz, -r9.xxzz    // and whole parts: the table rows
                mad r9, r9, c10, c8.y           // (255 frac + 0.5, row + 0.5) for A and B
                mul r9, r9, c11                 // table coordinates (wx, wy) of A in xy, of B in zw
                texld r3, r9, s0                // wA = U
                texld r4, r9.zwzw, s0           // wB = U
                texld r10, r7, s1
                mad r2.xyz, r10, r3.x, r2
                texld r10, r7.zwzw, s1
                mad r2.xyz, r10, r4.x, r2
                add r3.y, r3.x, r4.x
                add r2.w, r2.w, r3.y
                add r0.w, r0.w, c8.z            // k = k + 1
            endrep
            rcp r0.w, r2.w
            mul r0.xyz, r2, r0.w
            mov r0.w, c8.x
            mov oC0, r0
        };
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        MinFilter[0] = Linear;
        MagFilter[0] = Linear;
        MipFilter[0] = None;
        AddressU[1] = Mirror;
        AddressV[1] = Mirror;
        MinFilter[1] = Point;
        MagFilter[1] = Point;
        MipFilter[1] = None;
        ZEnable = False;
    }

    // Horizontal enlarge. Taps one source pixel apart, iRadius pairs; one
    // table read per pair: row k at the fraction f gives U = L(k + f) for the
    // tap before the sample point and V = L(k + 1 - f) for the tap after it.
    pass p1
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_3_0
            dcl_texcoord0 v0
            def c8, 0.0, 0.5, 1.0, 1.5
            def c9, 255.0, 0.00390625, 0.0625, 0.0
            dcl_2d s0
            dcl_2d s1
            frc r0.x, v0.z                  // f = frac(s)
            add r0.y, v0.z, -r0.x           // b = s - f
            mad r1.x, r0.x, c9.x, c8.y
            mul r1.x, r1.x, c9.y            // wx = (255 f + 0.5) / 256
            add r6.xy, r0.y, c8.yw          // pair k = 0: cA = b + 0.5, cB = b + 1.5
            mov r6.z, c8.y                  // k + 0.5
            mov r5.xyz, c8.z
            mov r5.x, -c8.z                 // per pair: cA - 1, cB + 1, k + 1
            mov r7.yw, v0.y                 // taps: r7 = (A, v, B, v)
            mov r2, c8.x                    // sum of weighted taps (xyz), sum of weights (w)
            rep i2
                mul r7.xz, r6.xxyy, c0.x        // texel centres of pixels b - k and b + 1 + k
                mul r1.y, r6.z, c9.z            // wy = (k + 0.5) / 16, the centre of row k
                add r6.xyz, r6, r5
                texld r3, r1, s0                // wA = U, wB = V
                texld r4, r7, s1
                mad r2.xyz, r4, r3.x, r2
                texld r4, r7.zwzw, s1
                mad r2.xyz, r4, r3.y, r2
                add r3.z, r3.y, r3.x
                add r2.w, r2.w, r3.z
            endrep
            rcp r0.w, r2.w
            mul r0.xyz, r2, r0.w
            mov r0.w, c8.x
            mov oC0, r0
        };
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        MinFilter[0] = Linear;
        MagFilter[0] = Linear;
        MipFilter[0] = None;
        AddressU[1] = Mirror;
        AddressV[1] = Mirror;
        MinFilter[1] = Point;
        MagFilter[1] = Point;
        MipFilter[1] = None;
        ZEnable = False;
    }

    // Vertical reduce: p0 along t, reading column u, with the second
    // components and iRep[1].
    pass p2
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_3_0
            dcl_texcoord0 v0
            def c8, 0.0, 0.5, 1.0, 1.5
            def c10, 255.0, 1.0, 255.0, 1.0
            def c11, 0.00390625, 0.0625, 0.00390625, 0.0625
            dcl_2d s0
            dcl_2d s1
            frc r0.x, v0.w                  // f = frac(t)
            add r0.y, c8.z, -r0.x           // g = 1 - f
            add r0.z, v0.w, c8.y            // c = t + 0.5
            mov r0.w, c8.x                  // k = 0
            mov r5, c8.z
            mov r5.x, -c8.z                 // (-1, +1)
            mov r7.xz, v0.x                 // taps: r7 = (u, A, u, B)
            mov r2, c8.x
            rep i1
                add r1.xy, r0, r0.w             // dA = f + k, dB = g + k
                mad r6.xy, r1, r5, r0.z         // c - dA, c + dB
                mul r7.yw, r6.xxyy, c0.y
                mul r8.xz, r1.xxyy, c1.y        // tA, tB
                frc r9.xz, r8
                add r9.yw, r8.xxzz, -r9.xxzz
                mad r9, r9, c10, c8.y
                mul r9, r9, c11
                texld r3, r9, s0
                texld r4, r9.zwzw, s0
                texld r10, r7, s1
                mad r2.xyz, r10, r3.x, r2
                texld r10, r7.zwzw, s1
                mad r2.xyz, r10, r4.x, r2
                add r3.y, r3.x, r4.x
                add r2.w, r2.w, r3.y
                add r0.w, r0.w, c8.z
            endrep
            rcp r0.w, r2.w
            mul r0.xyz, r2, r0.w
            mov r0.w, c8.x
            mov oC0, r0
        };
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        MinFilter[0] = Linear;
        MagFilter[0] = Linear;
        MipFilter[0] = None;
        AddressU[1] = Mirror;
        AddressV[1] = Mirror;
        MinFilter[1] = Point;
        MagFilter[1] = Point;
        MipFilter[1] = None;
        ZEnable = False;
    }

    // Vertical enlarge: p1 along t, reading column u.
    pass p3
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_3_0
            dcl_texcoord0 v0
            def c8, 0.0, 0.5, 1.0, 1.5
            def c9, 255.0, 0.00390625, 0.0625, 0.0
            dcl_2d s0
            dcl_2d s1
            frc r0.x, v0.w                  // f = frac(t)
            add r0.y, v0.w, -r0.x           // b = t - f
            mad r1.x, r0.x, c9.x, c8.y
            mul r1.x, r1.x, c9.y            // wx
            add r6.xy, r0.y, c8.yw          // cA = b + 0.5, cB = b + 1.5
            mov r6.z, c8.y                  // k + 0.5
            mov r5.xyz, c8.z
            mov r5.x, -c8.z
            mov r7.xz, v0.x                 // taps: r7 = (u, A, u, B)
            mov r2, c8.x
            rep i2
                mul r7.yw, r6.xxyy, c0.y
                mul r1.y, r6.z, c9.z            // wy
                add r6.xyz, r6, r5
                texld r3, r1, s0
                texld r4, r7, s1
                mad r2.xyz, r4, r3.x, r2
                texld r4, r7.zwzw, s1
                mad r2.xyz, r4, r3.y, r2
                add r3.z, r3.y, r3.x
                add r2.w, r2.w, r3.z
            endrep
            rcp r0.w, r2.w
            mul r0.xyz, r2, r0.w
            mov r0.w, c8.x
            mov oC0, r0
        };
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        MinFilter[0] = Linear;
        MagFilter[0] = Linear;
        MipFilter[0] = None;
        AddressU[1] = Mirror;
        AddressV[1] = Mirror;
        MinFilter[1] = Point;
        MagFilter[1] = Point;
        MipFilter[1] = None;
        ZEnable = False;
    }
}
