// ChoosePixelFormat's pick among the host's formats, SetPixelFormat's
// once-only rule, and WGL's context rules, on the scripted host.
#include <gtest/gtest.h>

#include "recorder.h"

namespace {

using compat::describe_format;

class PixelFormatTest : public LayerTest {
protected:
    HDC dc = nullptr;
    PIXELFORMATDESCRIPTOR want = {};

    void SetUp() override
    {
        LayerTest::SetUp();
        want = describe_format(5, 6, 5, 0, 16, 0);
    }
    int Choose(std::vector<PIXELFORMATDESCRIPTOR> formats)
    {
        fake::config().formats = std::move(formats);
        dc = GetDC(Create());
        return ChoosePixelFormat(dc, &want);
    }
};

TEST_F(PixelFormatTest, TheSmallestFormatThatMeetsEachRequestWins)
{
    // 24-bit colour is all there is; of the depths, 16 is enough and smallest.
    EXPECT_EQ(Choose({describe_format(8, 8, 8, 0, 24, 8), describe_format(8, 8, 8, 0, 16, 0),
                      describe_format(8, 8, 8, 0, 32, 0)}), 2);
    // Nothing deep enough: the deepest comes closest.
    want.cDepthBits = 32;
    EXPECT_EQ(Choose({describe_format(8, 8, 8, 0, 16, 0), describe_format(8, 8, 8, 0, 24, 8),
                      describe_format(8, 8, 8, 0, 16, 8)}), 2);
}

TEST_F(PixelFormatTest, DoubleBufferingMattersMostAndTiesKeepTheLowerIndex)
{
    EXPECT_EQ(Choose({describe_format(5, 6, 5, 0, 16, 0, false), describe_format(8, 8, 8, 8, 32, 8)}), 2);
    want.dwFlags &= ~PFD_DOUBLEBUFFER;
    EXPECT_EQ(Choose({describe_format(8, 8, 8, 0, 24, 0), describe_format(8, 8, 8, 0, 24, 0, false),
                      describe_format(8, 8, 8, 0, 24, 0, false)}), 2);
    want.dwFlags |= PFD_DOUBLEBUFFER_DONTCARE;
    EXPECT_EQ(Choose({describe_format(8, 8, 8, 0, 24, 0), describe_format(8, 8, 8, 0, 24, 0, false)}), 1);
}

TEST_F(PixelFormatTest, NoFormatWithTheRequiredSupportOrTypeMeansZero)
{
    PIXELFORMATDESCRIPTOR no_gl = describe_format(8, 8, 8, 0, 24, 0);
    no_gl.dwFlags &= ~PFD_SUPPORT_OPENGL;
    PIXELFORMATDESCRIPTOR index = describe_format(8, 8, 8, 0, 24, 0);
    index.iPixelType = PFD_TYPE_COLORINDEX;
    EXPECT_EQ(Choose({no_gl, index}), 0);
    EXPECT_EQ(Choose({}), 0);
    EXPECT_EQ(ChoosePixelFormat(nullptr, &want), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, nullptr), 0);
}

TEST_F(PixelFormatTest, AWindowTakesOneFormatForLife)
{
    int chosen = Choose({describe_format(8, 8, 8, 0, 24, 0), describe_format(8, 8, 8, 8, 24, 8)});
    ASSERT_EQ(chosen, 1);
    EXPECT_FALSE(SetPixelFormat(dc, 3, &want));   // no such format
    EXPECT_EQ(GetPixelFormat(dc), 0);
    EXPECT_TRUE(SetPixelFormat(dc, 1, &want));
    EXPECT_TRUE(SetPixelFormat(dc, 1, &want));    // the same again is fine
    EXPECT_FALSE(SetPixelFormat(dc, 2, &want));
    EXPECT_EQ(GetPixelFormat(dc), 1);
    EXPECT_EQ(fake::trace(), (std::vector<std::string>{"create", "format 1"}));

    PIXELFORMATDESCRIPTOR got;
    EXPECT_EQ(DescribePixelFormat(dc, 2, sizeof got, &got), 2);
    EXPECT_EQ(got.cAlphaBits, 8);
    EXPECT_EQ(DescribePixelFormat(dc, 0, 0, nullptr), 2);
}

TEST_F(PixelFormatTest, ContextsFollowWglRules)
{
    Choose({describe_format(8, 8, 8, 0, 24, 0)});
    EXPECT_EQ(wglCreateContext(dc), nullptr);   // no pixel format yet
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PIXEL_FORMAT);
    ASSERT_TRUE(SetPixelFormat(dc, 1, &want));
    HGLRC rc = wglCreateContext(dc);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);   // created, not current

    EXPECT_FALSE(wglMakeCurrent(NULL, NULL));     // nothing current (NT 4 said TRUE)
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(wglMakeCurrent(dc, NULL));        // with a DC: fine
    EXPECT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_EQ(wglGetCurrentContext(), rc);
    EXPECT_EQ(wglGetCurrentDC(), dc);

    // A context on a DC of another format is refused, and nothing stays current.
    fake::config().formats.push_back(describe_format(8, 8, 8, 8, 24, 8));
    HDC other = GetDC(Create());
    ASSERT_TRUE(SetPixelFormat(other, 2, &want));
    EXPECT_FALSE(wglMakeCurrent(other, rc));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);

    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    EXPECT_TRUE(wglDeleteContext(rc));           // current: let go first
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    SetLastError(0);
    EXPECT_FALSE(wglDeleteContext(rc));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(wglMakeCurrent(dc, rc));
    SetLastError(0);
    EXPECT_FALSE(wglDeleteContext(NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(wglMakeCurrent(dc, NULL));
    EXPECT_EQ(fake::trace().back(), "delete context");
}

// The host's window goes with the window, so no context may stay bound to it;
// the context itself lives on.
TEST_F(PixelFormatTest, AWindowDestroyedWhileCurrentTakesTheBindingWithIt)
{
    HWND hWnd = Create();
    dc = GetDC(hWnd);
    ASSERT_TRUE(SetPixelFormat(dc, 1, &want));
    HGLRC rc = wglCreateContext(dc);
    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    fake::trace().clear();
    EXPECT_TRUE(DestroyWindow(hWnd));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(wglGetCurrentDC(), nullptr);
    EXPECT_EQ(fake::trace(), (std::vector<std::string>{"uncurrent", "destroy"}));
    EXPECT_TRUE(wglDeleteContext(rc));
}

TEST_F(PixelFormatTest, SwapsNeedAFormatAndALiveWindowButNoCurrentContext)
{
    fake::config().formats = {describe_format(8, 8, 8, 0, 24, 0), describe_format(8, 8, 8, 0, 24, 0, false)};
    HWND hWnd = Create();
    dc = GetDC(hWnd);
    EXPECT_EQ(GetDC(hWnd), dc);   // the window's own DC, every time
    EXPECT_EQ(ReleaseDC(hWnd, dc), 1);
    EXPECT_FALSE(SwapBuffers(dc));
    ASSERT_TRUE(SetPixelFormat(dc, 1, &want));
    EXPECT_TRUE(SwapBuffers(dc));
    EXPECT_EQ(fake::swaps(), 1);

    HDC single = GetDC(Create());
    ASSERT_TRUE(SetPixelFormat(single, 2, &want));
    EXPECT_TRUE(SwapBuffers(single));   // nothing to swap: no effect
    EXPECT_EQ(fake::swaps(), 1);

    DestroyWindow(hWnd);
    EXPECT_FALSE(SwapBuffers(dc));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(ReleaseDC(hWnd, dc), 0);
}

}  // namespace
