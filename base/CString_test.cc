#include "base/CString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(CStringTest, FindGivesFirstIndexOrMinusOne) {
  CString s("HTTP/1.1 200 OK\r\nHTTP/1.1 200 OK");
  EXPECT_EQ(s.Find("200 OK"), 9);
  EXPECT_EQ(s.Find("200 OK", 10), 26);
  EXPECT_EQ(s.Find("404"), -1);
  EXPECT_EQ(s.Find('H', 1), 17);
  EXPECT_EQ(s.Find("OK", 99), -1);
  EXPECT_EQ(s.Find("OK", -1), -1);
}

TEST(CStringTest, ReplaceIsLeftToRightNonOverlappingAndNotRescanned) {
  CString s("a  = b = c");
  EXPECT_EQ(s.Replace(" =", "="), 2);
  EXPECT_EQ(s, "a = b= c");
  CString t("aaaa");
  EXPECT_EQ(t.Replace("aa", "a"), 2);  // the produced "aa" is not scanned again
  EXPECT_EQ(t, "aa");
  CString u("%+");
  u.Replace("%", "%25");
  u.Replace("+", "%2B");
  EXPECT_EQ(u, "%25%2B");
  EXPECT_EQ(u.Replace("", "x"), 0);
}

TEST(CStringTest, LeftMidRightClampLikeTheFramework) {
  CString s("abcdef");
  EXPECT_EQ(s.Left(2), "ab");
  EXPECT_EQ(s.Left(99), "abcdef");
  EXPECT_EQ(s.Left(-1), "");
  EXPECT_EQ(s.Mid(4), "ef");
  EXPECT_EQ(s.Mid(9), "");
  EXPECT_EQ(s.Mid(1, 2), "bc");
  EXPECT_EQ(s.Mid(5, 9), "f");
  EXPECT_EQ(s.Right(2), "ef");
}

TEST(CStringTest, CompareAndEquality) {
  CString a("abc");
  EXPECT_TRUE(a == "abc");
  EXPECT_TRUE("abc" == a);
  EXPECT_FALSE(a == "abcd");
  EXPECT_TRUE(a != CString("ABC"));
  EXPECT_LT(a.Compare("abd"), 0);
  EXPECT_GT(a.Compare("abb"), 0);
  EXPECT_EQ(a.CompareNoCase("ABC"), 0);
}

TEST(CStringTest, FormatGrowsPastAnyFixedBuffer) {
  CString s;
  s.Format("/param.cgi?cmd=setmotorrange&-flip=%d&-mirror=%d", 1, 0);
  EXPECT_EQ(s, "/param.cgi?cmd=setmotorrange&-flip=1&-mirror=0");
  std::string long_text(5000, 'x');
  s.Format("<%s>", long_text.c_str());
  EXPECT_EQ(s.GetLength(), 5002);
  s.AppendFormat("%d", 42);
  EXPECT_EQ(s.Right(3), ">42");
}

TEST(CStringTest, ConstructionStopsAtZeroByteUnlessLengthIsGiven) {
  const char raw[] = {'a', '\0', 'b'};
  EXPECT_EQ(CString(raw).GetLength(), 1);
  EXPECT_EQ(CString(raw, 3).GetLength(), 3);
  EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
  CString t("xyz");
  EXPECT_STREQ(static_cast<const char*>(t), "xyz");
}

TEST(CStringTest, GetBufferLetsCStyleCodeWriteAndReleaseBufferTakesItBack) {
  CString s("ab");
  char* p = s.GetBuffer(10);
  std::snprintf(p, 11, "%s", "camera");
  s.ReleaseBuffer();
  EXPECT_EQ(s, "camera");
  s.GetBuffer(0)[0] = 'C';
  s.ReleaseBuffer(3);
  EXPECT_EQ(s, "Cam");
  s.ReleaseBuffer(99);  // never grows past what is held
  EXPECT_EQ(s, "Cam");
}
