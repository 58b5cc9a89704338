// OpenXR records as the plug-ins pass them: the same fields, sizes and offsets as the C
// declarations, so arrays of them cross without copying.
using System.Runtime.InteropServices;

namespace Quenra
{
    [StructLayout(LayoutKind.Sequential)]
    public struct XrVector3f
    {
        public float X;
        public float Y;
        public float Z;

        public XrVector3f(float x, float y, float z)
        {
            X = x;
            Y = y;
            Z = z;
        }

        public override string ToString()
        {
            return "(" + X + ", " + Y + ", " + Z + ")";
        }
    }

    [StructLayout(LayoutKind.Sequential)]
    public struct XrQuaternionf
    {
        public float X;
        public float Y;
        public float Z;
        public float W;

        public XrQuaternionf(float x, float y, float z, float w)
        {
            X = x;
            Y = y;
            Z = z;
            W = w;
        }
    }

    // Orientation first, as in OpenXR.
    [StructLayout(LayoutKind.Sequential)]
    public struct XrPosef
    {
        public XrQuaternionf Orientation;
        public XrVector3f Position;
    }

    [StructLayout(LayoutKind.Sequential)]
    public struct XrExtent2Df
    {
        public float Width;
        public float Height;
    }

    // The frame state a frame-state callback receives; ShouldRender is an XrBool32 (4 bytes).
    [StructLayout(LayoutKind.Sequential)]
    public struct XrFrameState
    {
        public int Type;
        public System.IntPtr Next;
        public long PredictedDisplayTime;
        public long PredictedDisplayPeriod;
        public uint ShouldRender;
    }
}
