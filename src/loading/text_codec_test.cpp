#include "loading/text_codec.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

std::string gbk(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageGbk, text); }
std::string big5(std::u16string_view text) { return systemCodePages().fromUtf16(kCodePageBig5, text); }

class TextCodecTest : public ::testing::Test {
 protected:
  TextCodec codec{systemCodePages()};
};

TEST_F(TextCodecTest, AsciiAndEmptyTextPassUnchanged) {
  for (const std::string text : {"", "Hello, world! 00:00:01,000 --> 00:00:04,000\r\n"}) {
    EXPECT_EQ(codec.gbkToTraditionalBig5(text), text);
    EXPECT_EQ(codec.big5ToSimplifiedGbk(text), text);
  }
}

TEST_F(TextCodecTest, ChangesScriptAndCodePage) {
  struct Case { std::u16string simplified, traditional; };
  const Case cases[] = {
      {u"黑体", u"黑體"},
      {u"为了这个时间", u"為了這個時間"},  // Taiwan form 為, not 爲 which Big5 lacks
      {u"后来发现里面", u"後來發現裡面"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(codec.gbkToTraditionalBig5(gbk(c.simplified)), big5(c.traditional));
    EXPECT_EQ(codec.big5ToSimplifiedGbk(big5(c.traditional)), gbk(c.simplified));
  }
}

TEST_F(TextCodecTest, CommonCharactersSurviveTheRoundTrip) {
  const std::u16string common =
      u"的一是不了人我在有他这为之大来以个中上们到说国和地也子时道出而要于就下得可你年生自会"
      u"那后能对事其里所去行过家十用发天如然作方成者多日都三小军二无同么经法当起与好看学进"
      u"种将还分此心前面又定见只主没公从知使回长们头问关点现开让话间电动实样从别机难车听觉"
      u"报东讯风飞马鸟鱼龙门书们样说谁谢请该语认识记忆论证读词课识变爱乐欢亲热钱银铁钟错"
      u"带师帮帐币历压厅厂县区医华单卖卫却厌参双发变叶号叹吗听启员响哑唤问团园图圆圣场坏块"
      u"坚坛垒墙壮声处备复够头夹夺奋妇妈娱孙宁宝实宠审宫宽宾对寻导寿将尔尘尝层岁岂岛岭币"
      u"帅带帮常广庄庆应庙废开异弃张弯弹强归当录彻径忆态总恋恶悬惊惧惨惯愤愿懒战户扑执扩扫"
      u"扬扰抚抛抢护报拥择挡挣挤换据掷摄摆摇撑数断无旧时旷显晓晕暂术机杀杂权条来杨杰极构枪"
      u"亮今天晚上我们一起去看电影吧好的没问题再见";
  const std::string original = gbk(common);
  ASSERT_EQ(systemCodePages().toUtf16(kCodePageGbk, original), common);
  const std::string traditional = codec.gbkToTraditionalBig5(original);
  EXPECT_EQ(traditional.find('?'), std::string::npos);
  EXPECT_EQ(codec.big5ToSimplifiedGbk(traditional), original);
}

TEST_F(TextCodecTest, CharacterBig5LacksBecomesDefaultCharacterAndTheRestIsKept) {
  // 酶 (enzyme) is in GBK but has no Big5 code.
  EXPECT_EQ(codec.gbkToTraditionalBig5(gbk(u"酶的活性\r\n第二行")), big5(u"?的活性\r\n第二行"));
}

TEST_F(TextCodecTest, KeepsBytesAfterNul) {
  const std::string text("a\0b", 3);
  EXPECT_EQ(codec.gbkToTraditionalBig5(text), text);
  EXPECT_EQ(codec.big5ToSimplifiedGbk(text), text);
}

}  // namespace
}  // namespace quorvane
