// A test shader shaped like a horizontal reducing pass (it is not a Lanczos
// filter): declarations, literals, rep over an int array element, both
// samplers and the float2 parameters. Its bytecode, with the constant table
// of reduce_pass_ctab.hex, was loaded through an effect and drawn.
texture2D txWgt;
sampler samWgt : register(s0) = sampler_state { Texture = <txWgt>; };
texture2D txSrc;
sampler samSrc : register(s1) = sampler_state { Texture = <txSrc>; };
int iRadius : register(i2);
int iRep[2] : register(i0);
float2 fRszSrc : register(c0);
float2 fMinRt : register(c1);

technique T
{
    pass p0
    {
        PixelShader = asm
        {
            ps_3_0
            dcl_texcoord0 v0
            def c8, 0.0, 0.0625, 1.0, 0.5
            dcl_2d s0
            dcl_2d s1
            mov r0, c8.x
            rep i0
              add r0.x, r0.x, c8.y
            endrep
            texld r1, v0, s0
            texld r2, v0.yxzw, s1
            mov r0.y, r1.x
            mov r0.z, r2.x
            mad r0.w, c1.y, c8.z, c0.x
            mov oC0, r0
        };
    }
}
